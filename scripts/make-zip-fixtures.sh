#!/usr/bin/env bash
# Builds the ROW_FORMAT=COMPRESSED fixture with a private MariaDB server:
# tables with KEY_BLOCK_SIZE 1, 2, 4, 8 and 16, changed after the insert so that
# pages carry modification logs, and what the server reported about their rows.
#
#   scripts/make-zip-fixtures.sh [OUT.tar.xz]    (default tests/fixtures/zip-tables.tar.xz)
#
# The archive unpacks to zip-tables/: zip/<table>.frm + .ibd, and
# expected/<table>.tsv (one row per line, columns in table order, `mariadb
# --batch` escaping; binary columns as HEX(), BLOB/TEXT columns as
# LENGTH:SHA2-256 so large values stay small), expected/tables.tsv
# (table, KEY_BLOCK_SIZE, row count).
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO=$(cd "$HERE/.." && pwd)
# shellcheck source=scripts/mariadb-lib.sh
source "$HERE/mariadb-lib.sh"

OUTFILE=${1:-$REPO/tests/fixtures/zip-tables.tar.xz}
TMP=$(mktemp -d /tmp/zip-fixtures.XXXXXX)
HOLDER_PID=""
cleanup() {
    [[ -n $HOLDER_PID ]] && kill "$HOLDER_PID" 2>/dev/null
    mdb_cleanup
    rm -rf "$TMP"
}
trap cleanup EXIT

WORK="$TMP/server"
OUT="$TMP/zip-tables"
mkdir -p "$OUT/zip" "$OUT/expected"
mdb_install "$WORK"
mdb_start "$WORK" "$TMP/run/mariadbd.sock" "$(mdb_free_port)"
sql() { mdb_sql --default-character-set=utf8mb4 "$@"; }

echo "== creating tables"
sql -e "CREATE DATABASE zip CHARACTER SET utf8mb4"
SIZES=(1 2 4 8 16)

# A value of `len` bytes: a head that compresses like text (hex digests, about
# half its size) and a repeated tail that compresses to almost nothing.
big_value() {
    local seed=$1 head=$2 len=$3
    echo "LEFT(CONCAT((SELECT GROUP_CONCAT(MD5(s.seq * 7 + $seed) SEPARATOR '')
                       FROM seq_1_to_$(((head + 31) / 32)) s),
                      REPEAT(CONCAT('value $seed ', SHA1($seed), ' ü '), $len / 40 + 1)), $len)"
}

for kb in "${SIZES[@]}"; do
    t="t_kb$kb"
    # The larger pages get one value with a long incompressible head, so its
    # chain of compressed value pages is several pages long there too.
    head=$((kb == 16 ? 40000 : kb == 8 ? 24000 : 4000))
    sql zip -e "
        CREATE TABLE $t (
          id INT NOT NULL,
          i8 TINYINT NOT NULL,
          u16 SMALLINT UNSIGNED,
          i24 MEDIUMINT,
          i64 BIGINT NOT NULL,
          amount DECIMAL(12,3),
          created DATETIME(6) NOT NULL,
          stamp TIMESTAMP(3) NULL,
          day DATE,
          tod TIME,
          yr YEAR,
          code CHAR(6) CHARACTER SET utf8mb4 NOT NULL,
          name VARCHAR(40) CHARACTER SET utf8mb4,
          tag CHAR(8) CHARACTER SET latin1,
          note VARCHAR(60) CHARACTER SET latin1,
          raw VARBINARY(12),
          doc MEDIUMTEXT CHARACTER SET utf8mb4,
          bin MEDIUMBLOB,
          PRIMARY KEY (id),
          KEY k_name (name, i64)
        ) ENGINE=InnoDB ROW_FORMAT=COMPRESSED KEY_BLOCK_SIZE=$kb;
        SET SESSION group_concat_max_len = 4194304;
        INSERT INTO $t
        SELECT seq * 3, seq % 256 - 128, IF(seq % 11 = 0, NULL, seq * 97 % 65536),
               seq * 7919 % 16777216 - 8388608, seq * 1000000007 * IF(seq % 2, 1, -1),
               IF(seq % 13 = 0, NULL, (seq * 12345 % 100000000) / 1000 * IF(seq % 3, 1, -1)),
               '2001-02-03 04:05:06.789012' + INTERVAL seq * 86413 SECOND,
               IF(seq % 7 = 0, NULL, FROM_UNIXTIME(1000000000 + seq * 3607.125)),
               IF(seq % 17 = 0, NULL, '1999-12-31' + INTERVAL seq DAY),
               SEC_TO_TIME(seq * 173 % 86400 - 40000), 1901 + seq % 255,
               CONCAT('c', LPAD(seq, 4, '0'), IF(seq % 5 = 0, 'é', '')),
               IF(seq % 9 = 0, NULL, CONCAT(ELT(seq % 5 + 1, 'Anna', 'Jiří', 'Zoë', 'Łukasz', '李'),
                                            ' ', seq, IF(seq % 10 = 1, '😀', ''))),
               ELT(seq % 4 + 1, 'red', 'grün', 'blue', ''),
               IF(seq % 6 = 0, NULL, CONCAT('note ', seq, ' café naïve')),
               IF(seq % 8 = 0, NULL, UNHEX(SUBSTR(MD5(seq), 1, 2 * (seq % 12)))),
               CASE WHEN seq = 100 THEN $(big_value 1 $head 200000)
                    WHEN seq % 100 = 0 THEN $(big_value 2 4000 20000)
                    WHEN seq % 4 = 0 THEN NULL
                    ELSE CONCAT('doc ', seq, ' ', REPEAT('ž', seq % 30)) END,
               CASE WHEN seq % 150 = 0 THEN $(big_value 3 4000 90000)
                    WHEN seq % 5 = 0 THEN NULL
                    ELSE UNHEX(MD5(seq)) END
        FROM (SELECT CAST(seq AS SIGNED) AS seq FROM seq_1_to_400) q;"
done

sql zip -e "
    CREATE TABLE nopk_kb4 (
      a INT,
      b VARCHAR(30) CHARACTER SET utf8mb4,
      c DATETIME,
      d DECIMAL(6,2)
    ) ENGINE=InnoDB ROW_FORMAT=COMPRESSED KEY_BLOCK_SIZE=4;
    INSERT INTO nopk_kb4
    SELECT seq % 50, CONCAT('row ', seq, ' ✓'), '2020-05-06 07:08:09' + INTERVAL seq HOUR,
           IF(seq % 4 = 0, NULL, seq / 7)
    FROM seq_1_to_300;
    CREATE TABLE vkey_kb2 (
      name VARCHAR(24) CHARACTER SET latin1 NOT NULL,
      n SMALLINT NOT NULL,
      val INT,
      txt VARCHAR(100),
      PRIMARY KEY (name, n)
    ) ENGINE=InnoDB ROW_FORMAT=COMPRESSED KEY_BLOCK_SIZE=2;
    INSERT INTO vkey_kb2
    SELECT CONCAT('key-', REPEAT('x', seq % 13), '-', seq % 40), seq, seq * 31,
           CONCAT('text ', seq, ' ', REPEAT('é', seq % 20))
    FROM seq_1_to_600;
    -- Long keys that compress poorly: node pointers fill 1 KiB pages fast.
    CREATE TABLE deep_kb1 (
      k VARCHAR(100) CHARACTER SET latin1 NOT NULL PRIMARY KEY,
      n INT NOT NULL
    ) ENGINE=InnoDB ROW_FORMAT=COMPRESSED KEY_BLOCK_SIZE=1;
    INSERT INTO deep_kb1
    SELECT CONCAT(MD5(seq), MD5(seq + 1), LEFT(MD5(seq + 2), 30)), seq FROM seq_1_to_400;"

echo "== changing rows (modification logs)"
for kb in "${SIZES[@]}"; do
    t="t_kb$kb"
    sql zip -e "
        SET SESSION group_concat_max_len = 4194304;
        UPDATE $t SET name = CONCAT(name, ' upd') WHERE id % 7 = 0;
        UPDATE $t SET note = NULL WHERE id % 11 = 0;
        UPDATE $t SET u16 = 7, amount = -0.5 WHERE u16 IS NULL AND id % 2 = 0;
        UPDATE $t SET doc = CONCAT('shrunk ', id) WHERE id = 600;
        UPDATE $t SET bin = $(big_value 4 4000 30000) WHERE id = 303;
        UPDATE $t SET id = id + 1 WHERE id % 97 = 0;
        DELETE FROM $t WHERE id % 13 = 0;
        INSERT INTO $t (id, i8, i64, created, code, name, doc)
        SELECT seq * 3 + 2, 1, seq, '2030-01-01 00:00:00', 'new', CONCAT('inserted ', seq),
               IF(seq = 50, $(big_value 5 4000 50000), NULL)
        FROM seq_1_to_400 WHERE seq % 9 = 0;"
done
sql zip -e "
    UPDATE nopk_kb4 SET b = CONCAT(b, ' changed') WHERE a = 3;
    DELETE FROM nopk_kb4 WHERE a = 7;
    INSERT INTO nopk_kb4 VALUES (1000, 'late', NULL, 1.25);
    UPDATE vkey_kb2 SET txt = NULL WHERE n % 10 = 0;
    DELETE FROM deep_kb1 WHERE n % 10 = 0;
    UPDATE deep_kb1 SET n = -n WHERE n % 7 = 0;
    DELETE FROM vkey_kb2 WHERE n % 17 = 0;
    INSERT INTO vkey_kb2 VALUES ('key--', 1000, 1, 'late'), ('zzz', 1001, NULL, NULL);"

# A reader holding an old snapshot keeps the last deletes from being purged,
# so some pages still carry delete-marked records.
sql zip -e "START TRANSACTION WITH CONSISTENT SNAPSHOT; SELECT COUNT(*) FROM t_kb4; SELECT SLEEP(600);" \
    >/dev/null 2>&1 &
HOLDER_PID=$!
for _ in $(seq 100); do
    [[ $(sql -N -e "SELECT COUNT(*) FROM information_schema.INNODB_TRX
                    WHERE trx_mysql_thread_id <> CONNECTION_ID()") -ge 1 ]] && break
    sleep 0.1
done
for kb in "${SIZES[@]}"; do
    sql zip -e "DELETE FROM t_kb$kb WHERE id % 29 = 1; UPDATE t_kb$kb SET tag = 'last' WHERE id % 31 = 0;"
done
sql zip -e "DELETE FROM vkey_kb2 WHERE n % 23 = 0"

echo "== recording expected rows"
query() { sql --batch --skip-column-names -e "$1"; }
: >"$OUT/expected/tables.tsv"
for t in $(query "SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = 'zip'
                  ORDER BY TABLE_NAME"); do
    cols=$(query "SELECT GROUP_CONCAT(CASE
                      WHEN DATA_TYPE LIKE '%blob' OR DATA_TYPE LIKE '%text' THEN
                        CONCAT('IF(\`', COLUMN_NAME, '\` IS NULL, NULL, CONCAT(LENGTH(\`',
                               COLUMN_NAME, '\`), '':'', SHA2(\`', COLUMN_NAME, '\`, 256)))')
                      WHEN DATA_TYPE IN ('binary', 'varbinary') THEN
                        CONCAT('HEX(\`', COLUMN_NAME, '\`)')
                      ELSE CONCAT('\`', COLUMN_NAME, '\`') END
                    ORDER BY ORDINAL_POSITION SEPARATOR ', ')
                  FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = 'zip' AND TABLE_NAME = '$t'")
    query "SELECT $cols FROM zip.\`$t\`" | LC_ALL=C sort >"$OUT/expected/$t.tsv"
    kbs=$(query "SELECT SUBSTRING_INDEX(SUBSTRING_INDEX(CREATE_OPTIONS, 'key_block_size=', -1), ' ', 1)
                 FROM information_schema.TABLES WHERE TABLE_SCHEMA = 'zip' AND TABLE_NAME = '$t'")
    printf '%s\t%s\t%s\n' "$t" "$kbs" "$(wc -l <"$OUT/expected/$t.tsv")" >>"$OUT/expected/tables.tsv"
done
cat "$OUT/expected/tables.tsv"

echo "== shutdown (fast: purge is not finished, pages are written as they are)"
sql -e "SET GLOBAL innodb_fast_shutdown = 1"
mariadb-admin --no-defaults -uroot --socket="$MDB_SOCKET" shutdown
mdb_wait_exit "$MDB_PID" "$MDB_STOP_TIMEOUT" || { echo "server did not stop" >&2; exit 1; }
MDB_PID=""
kill "$HOLDER_PID" 2>/dev/null || true
wait "$HOLDER_PID" 2>/dev/null || true
HOLDER_PID=""

cp "$WORK"/zip/*.frm "$WORK"/zip/*.ibd "$OUT/zip/"
mkdir -p "$(dirname "$OUTFILE")"
tar -C "$TMP" --sort=name --owner=0 --group=0 --numeric-owner --mtime=@0 -cf - zip-tables |
    xz -9e -T1 >"$OUTFILE"
echo "wrote $OUTFILE ($(stat -c %s "$OUTFILE") bytes; .ibd files $(du -ch "$OUT"/zip/*.ibd | tail -1 | cut -f1))"
