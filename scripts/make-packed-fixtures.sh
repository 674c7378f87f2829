#!/usr/bin/env bash
# Builds MyISAM tables compressed with myisampack, and what the server read
# from them before they were packed, for the packed-table tests.
#
#   scripts/make-packed-fixtures.sh OUTDIR        (a folder to fill)
#   scripts/make-packed-fixtures.sh --commit      (writes tests/fixtures/packed-myisam.tar.xz)
#
# OUTDIR/packed/            .frm, .MYD, .MYI of every table, packed (myisampack + myisamchk -rq)
# OUTDIR/expected/T.tsv     SELECT of table T before packing, ordered by id; binary columns
#                           as HEX(), mariadb --batch escaping, no header
# OUTDIR/expected/T.count   the row count
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO=$(cd "$HERE/.." && pwd)
# shellcheck source=scripts/mariadb-lib.sh
source "$HERE/mariadb-lib.sh"

COMMIT=0
if [[ ${1:-} == --commit ]]; then
    COMMIT=1
    OUT=$(mktemp -d /tmp/packed-fixtures.XXXXXX)
else
    OUT=${1:?usage: $0 OUTDIR | --commit}
    mkdir -p "$OUT"
    OUT=$(cd "$OUT" && pwd)
fi
RUN=$(mktemp -d /tmp/mdb-packed.XXXXXX)
cleanup() {
    mdb_cleanup
    rm -rf "$RUN"
    if ((COMMIT)); then rm -rf "$OUT"; fi
}
trap cleanup EXIT

WORK="$OUT/server"
rm -rf "$WORK" "$OUT/packed" "$OUT/expected"
mkdir -p "$OUT/expected"
mdb_install "$WORK"
PORT=$(mdb_free_port)
mdb_start "$WORK" "$RUN/mariadbd.sock" "$PORT"
sql() { mdb_sql --default-character-set=utf8mb4 "$@"; }

# Every table has an `id` key; packed tables are read-only, so rows deleted
# before packing must not come back.
sql <<'SQL'
CREATE DATABASE packed CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci;
USE packed;

-- Every column type, dynamic rows (VARCHAR and BLOB columns).
CREATE TABLE t_dynamic (
  id INT NOT NULL PRIMARY KEY,
  ti TINYINT NULL, tiu TINYINT UNSIGNED NULL, si SMALLINT NULL, siu SMALLINT UNSIGNED NULL,
  mi MEDIUMINT NULL, miu MEDIUMINT UNSIGNED NULL, i INT NULL, iu INT UNSIGNED NULL,
  bi BIGINT NULL, biu BIGINT UNSIGNED NULL,
  f FLOAT NULL, d DOUBLE NULL, dec1 DECIMAL(10,2) NULL, dec2 DECIMAL(30,10) NULL,
  decu DECIMAL(12,4) UNSIGNED NULL,
  dt DATE NULL, tm TIME NULL, dtm DATETIME NULL, ts TIMESTAMP NULL DEFAULT NULL, yr YEAR NULL,
  tm3 TIME(3) NULL, dtm6 DATETIME(6) NULL, ts6 TIMESTAMP(6) NULL DEFAULT NULL,
  c_latin1 CHAR(20) CHARACTER SET latin1 NULL,
  vc_latin1 VARCHAR(300) CHARACTER SET latin1 NULL,
  c_mb4 CHAR(10) CHARACTER SET utf8mb4 NULL,
  vc_mb4 VARCHAR(60) CHARACTER SET utf8mb4 NULL,
  bin BINARY(8) NULL, vbin VARBINARY(40) NULL,
  tb TINYBLOB NULL, bl BLOB NULL, mb MEDIUMBLOB NULL, lb LONGBLOB NULL,
  tt TINYTEXT NULL, tx TEXT NULL, mt MEDIUMTEXT NULL, lt LONGTEXT NULL,
  en ENUM('','red','green','blue') NULL, st SET('a','b','c','d') NULL,
  b1 BIT(1) NULL, b10 BIT(10) NULL, b64 BIT(64) NULL
) ENGINE=MyISAM;

INSERT INTO t_dynamic VALUES
 (1, -128, 0, -32768, 0, -8388608, 0, -2147483648, 0, -9223372036854775808, 0,
  -3.4e38, -1.7976931348623157e308, -99999999.99, -99999999999999999999.9999999999, 0,
  '1000-01-01', '-838:59:59', '1000-01-01 00:00:00', '1970-01-01 00:00:01', 1901,
  '-838:59:59.999', '1000-01-01 00:00:00.000000', '1970-01-01 00:00:01.000000',
  '', '', '', '', '', '', '', '', '', '', '', '', '', '', '', '', b'0', b'0', b'0'),
 (2, 127, 255, 32767, 65535, 8388607, 16777215, 2147483647, 4294967295,
  9223372036854775807, 18446744073709551615,
  3.4e38, 1.7976931348623157e308, 99999999.99, 99999999999999999999.9999999999, 99999999.9999,
  '9999-12-31', '838:59:59', '9999-12-31 23:59:59', '2038-01-19 03:14:07', 2155,
  '838:59:59.999', '9999-12-31 23:59:59.999999', '2038-01-19 03:14:07.999999',
  REPEAT('Z', 20), REPEAT('ÿ', 300), REPEAT('😀', 10), REPEAT('😀', 60),
  0xFFFFFFFFFFFFFFFF, REPEAT(0xFF, 40), REPEAT(0xFE, 255), REPEAT(0xFD, 3000),
  REPEAT(0xFC, 70000), REPEAT(0xFB, 80000), REPEAT('t', 255), REPEAT('x', 5000),
  REPEAT('m', 70000), REPEAT('é', 40000), 'blue', 'a,b,c,d', b'1', b'1111111111',
  0xFFFFFFFFFFFFFFFF),
 (3, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL),
 (4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, '0000-00-00', '00:00:00',
  '0000-00-00 00:00:00', '1970-01-01 00:00:01', 0, '00:00:00', '0000-00-00 00:00:00',
  '1970-01-01 00:00:01', 'NULL', 'NULL', 'NULL', 'NULL', 'NULL', 'NULL', 'NULL', 'NULL',
  'NULL', 'NULL', 'NULL', 'NULL', 'NULL', 'NULL', '', '', b'0', b'1000000000',
  0x8000000000000000),
 (5, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1e-10, 1e-10, -0.01, -0.0000000001, 0.0001,
  '2000-02-29', '-00:00:01', '2000-02-29 12:00:00', '2000-02-29 12:00:00', 2000,
  '-00:00:00.001', '2000-02-29 12:00:00.000001', '2000-02-29 12:00:00.000001',
  '  lead and trail  ', 'O''Brien said "hi" \\ bye', ' x', 'tab\there\nnewline',
  0x0001020300, 0x00, 0x00, 0x0000, 0x00, '', 'Grüße 日本', 'a\0b', '', ' ',
  'red', 'a', b'1', b'1', b'1');

INSERT INTO t_dynamic
SELECT 5 + seq,
       IF(seq % 13 = 0, NULL, seq % 256 - 128), seq % 256, IF(seq % 17 = 0, NULL, seq * 37 % 65536 - 32768),
       seq * 91 % 65536, seq * 7919 - 4000000, seq * 12345 % 16777216, seq * 1234567 - 1500000000,
       seq * 2654435761 % 4294967296, IF(seq % 5 = 0, NULL, seq * 1000000007 * 1000003 - 4611686018427387904),
       CAST(MOD(seq * CAST(11400714819323198485 AS DECIMAL(30,0)), 18446744073709551616) AS UNSIGNED),
       IF(seq % 7 = 0, NULL, seq * 1.5e10 / 7), seq * 3.14159265358979 / 11 - 100,
       (seq * 1234) % 10000000 / 100 - 50000, seq * 98765.4321 - 12345678.0123456789,
       seq * 12.3456,
       '1950-01-01' + INTERVAL seq * 37 DAY, SEC_TO_TIME(seq * 7777 - 1500000),
       '1980-01-01 00:00:00' + INTERVAL seq * 999999 SECOND,
       IF(seq % 9 = 0, NULL, '1990-01-01 00:00:00' + INTERVAL seq * 777777 SECOND),
       IF(seq % 31 = 0, NULL, 1901 + seq % 255),
       SEC_TO_TIME(seq * 5555 - 900000 + (seq % 1000) / 1000),
       '1000-01-01 00:00:00' + INTERVAL seq * 99999999 SECOND + INTERVAL seq * 17 MICROSECOND,
       '1971-01-01 00:00:00' + INTERVAL seq * 555555 SECOND + INTERVAL seq * 3 MICROSECOND,
       ELT(seq % 6 + 1, 'Müller', 'Fußball', 'Ærø', 'Señor', 'Café', ''),
       IF(seq % 11 = 0, NULL, REPEAT(CONCAT('wörd', seq, ' '), seq % 40)),
       LEFT(CONCAT('é✓😀', seq), 10),
       IF(seq % 4 = 0, '', CONCAT('😀 ', MD5(seq), ' ✓')),
       UNHEX(LPAD(HEX(seq * 7), 16, '0')), IF(seq % 8 = 0, '', UNHEX(SHA1(seq))),
       IF(seq % 10 = 0, NULL, UNHEX(REPEAT(MD5(seq), seq % 8))),
       IF(seq % 3 = 0, '', UNHEX(REPEAT(SHA2(seq, 256), seq % 20))),
       IF(seq % 50 = 1, REPEAT(UNHEX(SHA2(seq, 512)), 400), UNHEX(MD5(seq))),
       IF(seq % 6 = 0, NULL, REPEAT('L', seq)),
       CONCAT('tiny ', seq), REPEAT(CONCAT('text ', seq, ' '), seq % 30),
       IF(seq % 7 = 0, NULL, REPEAT('日本語 ', seq % 100)), IF(seq % 2 = 0, '', CONCAT('long ', MD5(seq))),
       ELT(seq % 4 + 1, '', 'red', 'green', 'blue'),
       MAKE_SET(seq % 16, 'a', 'b', 'c', 'd'), seq % 2, seq % 1024, CAST(MOD(seq * CAST(11400714819323198485 AS DECIMAL(30,0)), 18446744073709551616) AS UNSIGNED)
FROM (SELECT CAST(seq AS SIGNED) AS seq FROM seq_1_to_150) s;
DELETE FROM t_dynamic WHERE id % 37 = 0;

-- The same columns in fixed rows: no VARCHAR, VARBINARY or BLOB.
CREATE TABLE t_fixed (
  id INT NOT NULL PRIMARY KEY,
  ti TINYINT NULL, tiu TINYINT UNSIGNED NULL, si SMALLINT NULL, siu SMALLINT UNSIGNED NULL,
  mi MEDIUMINT NULL, miu MEDIUMINT UNSIGNED NULL, i INT NULL, iu INT UNSIGNED NULL,
  bi BIGINT NULL, biu BIGINT UNSIGNED NULL,
  f FLOAT NULL, d DOUBLE NULL, dec1 DECIMAL(10,2) NULL, dec2 DECIMAL(30,10) NULL,
  decu DECIMAL(12,4) UNSIGNED NULL,
  dt DATE NULL, tm TIME NULL, dtm DATETIME NULL, ts TIMESTAMP NULL DEFAULT NULL, yr YEAR NULL,
  tm3 TIME(3) NULL, dtm6 DATETIME(6) NULL, ts6 TIMESTAMP(6) NULL DEFAULT NULL,
  c_latin1 CHAR(20) CHARACTER SET latin1 NULL, cl_latin1 CHAR(255) CHARACTER SET latin1 NULL,
  c_mb4 CHAR(10) CHARACTER SET utf8mb4 NULL, cl_mb4 CHAR(60) CHARACTER SET utf8mb4 NULL,
  bin BINARY(8) NULL, bin40 BINARY(40) NULL,
  en ENUM('','red','green','blue') NULL, st SET('a','b','c','d') NULL,
  b1 BIT(1) NULL, b10 BIT(10) NULL, b64 BIT(64) NULL
) ENGINE=MyISAM ROW_FORMAT=FIXED;
INSERT INTO t_fixed
SELECT id, ti, tiu, si, siu, mi, miu, i, iu, bi, biu, f, d, dec1, dec2, decu, dt, tm, dtm, ts, yr,
       tm3, dtm6, ts6, c_latin1, LEFT(vc_latin1, 255), c_mb4, vc_mb4, bin, vbin, en, st, b1, b10, b64
FROM t_dynamic;
DELETE FROM t_fixed WHERE id % 41 = 0;

-- Pre-5.6 TIME, DATETIME and TIMESTAMP (the variable is global-only).
SET GLOBAL mysql56_temporal_format = OFF;
CREATE TABLE t_old_times (
  id INT NOT NULL PRIMARY KEY, t TIME NULL, dt DATETIME NULL, ts TIMESTAMP NULL DEFAULT NULL,
  d DATE NULL
) ENGINE=MyISAM;
SET GLOBAL mysql56_temporal_format = ON;
INSERT INTO t_old_times VALUES
 (1, '00:00:00', '1000-01-01 00:00:00', '1970-01-01 00:00:01', '1000-01-01'),
 (2, '838:59:59', '9999-12-31 23:59:59', '2038-01-19 03:14:07', '9999-12-31'),
 (3, '-838:59:59', '0000-00-00 00:00:00', NULL, '0000-00-00'),
 (4, NULL, NULL, NULL, NULL);
INSERT INTO t_old_times
SELECT 4 + seq, SEC_TO_TIME(seq * 7777 - 1500000), '1980-01-01' + INTERVAL seq * 999999 SECOND,
       IF(seq % 9 = 0, NULL, '1990-01-01' + INTERVAL seq * 777777 SECOND), '1950-01-01' + INTERVAL seq * 37 DAY
FROM (SELECT CAST(seq AS SIGNED) AS seq FROM seq_1_to_200) s;

-- Column shapes myisampack stores its own ways, fixed rows: one value in every
-- row (constant), few distinct values (interval), zeros only, mostly zero,
-- small numbers in wide columns (zero fill), leading and trailing spaces,
-- spaces only, NULL only; leading spaces in values too many to list.
CREATE TABLE t_shapes (
  id INT NOT NULL PRIMARY KEY,
  const_int INT NOT NULL, const_str CHAR(10) NOT NULL, const_null INT NULL,
  few_str CHAR(12) NOT NULL, few_int INT NOT NULL, few_dec DECIMAL(8,2) NULL,
  zeros BIGINT NOT NULL, zero_str CHAR(6) NOT NULL, mostly_zero INT NOT NULL,
  small_big BIGINT NOT NULL, small_int INT UNSIGNED NOT NULL,
  lead CHAR(12) CHARACTER SET latin1 NOT NULL, trail CHAR(40) NOT NULL, some_spaces CHAR(8) NOT NULL,
  long_trail CHAR(255) NOT NULL, dt DATE NOT NULL,
  lead_wide CHAR(60) CHARACTER SET latin1 NOT NULL,
  lead_some CHAR(60) CHARACTER SET latin1 NOT NULL
) ENGINE=MyISAM;
INSERT INTO t_shapes
SELECT seq, 42, 'same', NULL, ELT(seq % 5 + 1, 'alpha', 'beta', 'gamma', 'delta', 'epsilon'),
       ELT(seq % 3 + 1, 7, -7, 70000), IF(seq % 4 = 0, NULL, ELT(seq % 2 + 1, 1.5, 2.25)),
       0, '', IF(seq % 10 = 0, seq, 0), seq % 1000, seq % 300, LPAD(seq, 12, ' '),
       REPEAT('t', seq % 41), IF(seq % 2 = 0, '', CONCAT('s', seq % 100)),
       IF(seq % 25 = 0, REPEAT(CHAR(65 + seq % 26), 200 + seq % 55), CONCAT('short ', seq)),
       '2024-01-01' + INTERVAL seq % 3 DAY, LPAD(seq, 60, ' '),
       LPAD(CONCAT(seq, REPEAT('y', seq % 60)), 60, ' ')
FROM (SELECT CAST(seq AS SIGNED) AS seq FROM seq_1_to_1500) s;
DELETE FROM t_shapes WHERE id % 101 = 0;

-- The same shapes in dynamic rows, with VARCHAR and BLOB versions.
CREATE TABLE t_shapes_dyn (
  id INT NOT NULL PRIMARY KEY,
  const_vc VARCHAR(20) NOT NULL, empty_vc VARCHAR(20) NOT NULL, null_vc VARCHAR(20) NULL,
  few_vc VARCHAR(30) NOT NULL, const_blob BLOB NULL, empty_blob TEXT NOT NULL,
  null_blob BLOB NULL, few_blob TEXT NULL, const_int INT NOT NULL, few_int INT NOT NULL,
  zeros BIGINT NOT NULL, lead CHAR(12) NOT NULL, trail CHAR(40) NOT NULL,
  vc_long VARCHAR(2000) NULL
) ENGINE=MyISAM;
INSERT INTO t_shapes_dyn
SELECT seq, 'constant', '', NULL, ELT(seq % 4 + 1, 'one', 'two', 'three', 'four'),
       'the same blob', '', NULL, ELT(seq % 3 + 1, 'x', 'yy', 'zzz'), -1, ELT(seq % 2 + 1, 0, 1),
       0, LPAD(seq % 50, 12, ' '), REPEAT('t', seq % 41),
       IF(seq % 3 = 0, NULL, REPEAT(CONCAT(seq, ','), seq % 300))
FROM (SELECT CAST(seq AS SIGNED) AS seq FROM seq_1_to_1000) s;
DELETE FROM t_shapes_dyn WHERE id % 103 = 0;

-- Over 64 KiB of packed rows, so record positions need more than two bytes.
CREATE TABLE t_big (
  id INT NOT NULL PRIMARY KEY, name VARCHAR(40) NOT NULL, amount DECIMAL(10,2) NULL,
  created DATETIME NOT NULL, note VARCHAR(200) NULL, flag TINYINT NOT NULL
) ENGINE=MyISAM;
INSERT INTO t_big
SELECT seq, CONCAT('customer-', seq), (seq % 100000) / 100, '2020-01-01 00:00:00' + INTERVAL seq SECOND,
       IF(seq % 7 = 0, NULL, REPEAT(CHAR(97 + seq % 26), seq % 60)), seq % 2
FROM seq_1_to_3000;

-- Records whose packed length needs one, three and five length bytes, and
-- blob totals past 64 KiB.
CREATE TABLE t_wide (
  id INT NOT NULL PRIMARY KEY, body LONGTEXT NULL, data MEDIUMBLOB NULL
) ENGINE=MyISAM;
INSERT INTO t_wide
SELECT seq, CASE WHEN seq % 10 = 3 THEN REPEAT(SHA2(seq, 256), 2500)
                 WHEN seq % 3 = 0 THEN REPEAT(SHA2(seq, 256), 8)
                 ELSE SHA2(seq, 256) END,
       IF(seq % 10 = 7, REPEAT(UNHEX(SHA2(seq, 256)), 3000), UNHEX(MD5(seq)))
FROM seq_1_to_30;

-- Nothing to pack; packed with --force.
CREATE TABLE t_empty (id INT NOT NULL PRIMARY KEY, v VARCHAR(10)) ENGINE=MyISAM;
SQL

TABLES=(t_dynamic t_fixed t_old_times t_shapes t_shapes_dyn t_big t_wide t_empty)

# Every column as text; bytes as hex so that nothing is lost.
select_list() {
    sql --batch --skip-column-names -e "
        SELECT GROUP_CONCAT(
                 CASE WHEN DATA_TYPE IN ('binary','varbinary','tinyblob','blob','mediumblob',
                                         'longblob','bit')
                      THEN CONCAT('HEX(\`', COLUMN_NAME, '\`)')
                      ELSE CONCAT('\`', COLUMN_NAME, '\`') END
                 ORDER BY ORDINAL_POSITION SEPARATOR ',')
        FROM information_schema.COLUMNS WHERE TABLE_SCHEMA='packed' AND TABLE_NAME='$1'"
}
record_rows() {
    local dir=$1 t cols
    for t in "${TABLES[@]}"; do
        cols=$(select_list "$t")
        sql --batch --skip-column-names packed -e "SELECT $cols FROM \`$t\` ORDER BY id" >"$dir/$t.tsv"
        sql --batch --skip-column-names packed -e "SELECT COUNT(*) FROM \`$t\`" >"$dir/$t.count"
    done
}
record_rows "$OUT/expected"
mdb_stop

echo "== packing"
for t in "${TABLES[@]}"; do
    force=()
    [[ $t == t_empty ]] && force=(--force)
    myisampack --no-defaults --silent "${force[@]}" "$WORK/packed/$t.MYI" >"$RUN/pack-$t.log" 2>&1 ||
        { cat "$RUN/pack-$t.log" >&2; exit 1; }
    myisamchk --no-defaults --silent -rq "$WORK/packed/$t.MYI" >"$RUN/chk-$t.log" 2>&1 ||
        { cat "$RUN/chk-$t.log" >&2; exit 1; }
done

# The server must read the packed tables as it read them before.
mdb_start "$WORK" "$RUN/mariadbd.sock" "$PORT"
mkdir -p "$RUN/after"
record_rows "$RUN/after"
sql --batch --skip-column-names -e "SELECT TABLE_NAME, ROW_FORMAT FROM information_schema.TABLES
    WHERE TABLE_SCHEMA='packed' ORDER BY 1" >"$RUN/formats"
mdb_stop
for t in "${TABLES[@]}"; do
    cmp -s "$OUT/expected/$t.tsv" "$RUN/after/$t.tsv" ||
        { echo "the server reads packed $t differently" >&2; exit 1; }
done
if grep -v $'\tCompressed$' "$RUN/formats" >&2; then
    echo "tables above are not compressed" >&2
    exit 1
fi

mkdir -p "$OUT/packed"
for t in "${TABLES[@]}"; do
    cp -p "$WORK/packed/$t".{frm,MYD,MYI} "$OUT/packed/"
done
rm -rf "$WORK"
echo "== $(du -sh "$OUT/packed" | cut -f1) of packed tables in $OUT/packed"

if ((COMMIT)); then
    mkdir -p "$OUT/tar/packed-myisam"
    mv "$OUT/packed" "$OUT/expected" "$OUT/tar/packed-myisam/"
    tar -C "$OUT/tar" --sort=name --owner=0 --group=0 --numeric-owner --mtime=@0 \
        -cf - packed-myisam | xz -9e -T1 >"$REPO/tests/fixtures/packed-myisam.tar.xz"
    echo "wrote tests/fixtures/packed-myisam.tar.xz ($(stat -c %s "$REPO/tests/fixtures/packed-myisam.tar.xz") bytes)"
fi
