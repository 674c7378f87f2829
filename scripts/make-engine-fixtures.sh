#!/usr/bin/env bash
# Builds the fixture of partitioned tables and of the other engines (CSV,
# ARCHIVE, MERGE, BLACKHOLE, Aria) with a private MariaDB 10.11 server, and
# what the server reported about their rows.
#
#   scripts/make-engine-fixtures.sh [OUT.tar.xz]   (default tests/fixtures/engine-tables.tar.xz)
#   KEEP=DIR scripts/make-engine-fixtures.sh ...   also keeps the server's data directory in DIR
#
# The archive unpacks to engine-tables/: datadir/ (ibdata1 and eng/, the
# database folder as the server left it after a slow shutdown) and
# expected/<table>.tsv: one row per line, columns in table order, `mariadb
# --batch` escaping, lines sorted with `LC_ALL=C sort`; BINARY/VARBINARY/BIT
# as HEX(), BLOB/TEXT as =HEX() up to 64 bytes, else LENGTH:SHA2-256. expected/tables.tsv: table, engine,
# row count.
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO=$(cd "$HERE/.." && pwd)
# shellcheck source=scripts/mariadb-lib.sh
source "$HERE/mariadb-lib.sh"

OUTFILE=${1:-$REPO/tests/fixtures/engine-tables.tar.xz}
TMP=$(mktemp -d /tmp/engine-fixtures.XXXXXX)
cleanup() {
    mdb_cleanup
    rm -rf "$TMP"
}
trap cleanup EXIT

WORK="$TMP/server"
OUT="$TMP/engine-tables"
mkdir -p "$OUT/expected"
mdb_install "$WORK"
mdb_start "$WORK" "$TMP/run/mariadbd.sock" "$(mdb_free_port)"
sql() { mdb_sql --default-character-set=utf8mb4 "$@"; }

echo "== creating tables"
sql -e "CREATE DATABASE eng CHARACTER SET utf8mb4"

# Partitioned tables: one column list, filled the same way.
cols="id INT NOT NULL,
      region TINYINT NOT NULL,
      d DATE NOT NULL,
      name VARCHAR(40) CHARACTER SET utf8mb4,
      amount DECIMAL(10,2),
      raw VARBINARY(16),
      doc MEDIUMTEXT CHARACTER SET utf8mb4"
fill() {
    # $1 table, $2 rows; every 50th doc is 30 KB (off-page in InnoDB).
    sql eng -e "
        INSERT INTO $1
        SELECT seq, seq % 5, '2019-01-01' + INTERVAL (seq * 3) DAY,
               IF(seq % 9 = 0, NULL, CONCAT(ELT(seq % 4 + 1, 'Anna', 'Jiří', 'Zoë', '李'), ' ', seq)),
               IF(seq % 7 = 0, NULL, seq * 1.25 - 100),
               IF(seq % 6 = 0, NULL, UNHEX(SUBSTR(MD5(seq), 1, 2 * (seq % 16)))),
               CASE WHEN seq % 50 = 0 THEN REPEAT(CONCAT(MD5(seq), ' ü '), 900)
                    WHEN seq % 4 = 0 THEN NULL
                    ELSE CONCAT('doc ', seq) END
        FROM seq_1_to_$2;"
}
for engine in InnoDB MyISAM; do
    e=$(tr '[:upper:]' '[:lower:]' <<<"$engine")
    sql eng -e "
        CREATE TABLE p_range_$e ($cols, PRIMARY KEY (id)) ENGINE=$engine
        PARTITION BY RANGE (id) (
          PARTITION p0 VALUES LESS THAN (100),
          PARTITION p1 VALUES LESS THAN (300),
          PARTITION p_empty VALUES LESS THAN (400),
          PARTITION pmax VALUES LESS THAN MAXVALUE);
        CREATE TABLE p_list_$e ($cols, PRIMARY KEY (id, region)) ENGINE=$engine
        PARTITION BY LIST (region) (
          PARTITION odd VALUES IN (1, 3),
          PARTITION even VALUES IN (0, 2, 4),
          PARTITION none VALUES IN (9));
        CREATE TABLE p_hash_$e ($cols, PRIMARY KEY (id)) ENGINE=$engine
        PARTITION BY HASH (id) PARTITIONS 4;
        CREATE TABLE p_key_$e ($cols, PRIMARY KEY (id)) ENGINE=$engine
        PARTITION BY KEY (id) PARTITIONS 3;
        CREATE TABLE p_sub_$e ($cols, PRIMARY KEY (id, d)) ENGINE=$engine
        PARTITION BY RANGE (YEAR(d)) SUBPARTITION BY HASH (id) SUBPARTITIONS 2 (
          PARTITION y2019 VALUES LESS THAN (2020),
          PARTITION y2020 VALUES LESS THAN (2021),
          PARTITION ylater VALUES LESS THAN MAXVALUE);"
    fill "p_range_$e" 600
    sql eng -e "DELETE FROM p_range_$e WHERE id >= 300 AND id < 400"
    fill "p_list_$e" 500
    fill "p_hash_$e" 700
    fill "p_key_$e" 450
    fill "p_sub_$e" 800
done

echo "== other engines"
# ARCHIVE and BLACKHOLE are plugins in Debian's build.
sql -e "INSTALL SONAME 'ha_archive'; INSTALL SONAME 'ha_blackhole'"
sql eng -e "
    CREATE TABLE csv_t (
      id INT NOT NULL,
      name VARCHAR(60) CHARACTER SET utf8mb4 NOT NULL,
      amount DECIMAL(12,3) NOT NULL,
      ratio DOUBLE NOT NULL,
      day DATE NOT NULL,
      at DATETIME(3) NOT NULL,
      kind ENUM('a','b','c') NOT NULL,
      flags SET('x','y','z') NOT NULL,
      note TEXT CHARACTER SET utf8mb4 NOT NULL,
      code CHAR(12) CHARACTER SET latin1 NOT NULL,
      bin VARBINARY(32) NOT NULL
    ) ENGINE=CSV;
    INSERT INTO csv_t VALUES
      (1, 'plain', 1.5, 0.25, '2020-01-02', '2020-01-02 03:04:05.678', 'a', 'x,z', 'text', 'café', 'ab'),
      (2, 'quote \" and \\\\ backslash', -0.001, -1e-300, '1000-01-01', '1970-01-01 00:00:00', 'b', '',
       'line\nbreak\rreturn\ttab', 'a,b\"c', UNHEX('00FF22275C0A0D09')),
      (3, 'NULL', 0, 1e300, '9999-12-31', '9999-12-31 23:59:59.999', 'c', 'x,y,z', '', '', ''),
      (4, 'ünïcödé ✓ 😀', 123456789.123, 3.14159, '2024-02-29', '2024-02-29 12:00:00', 'a', 'y',
       'comma, and \"quotes\"', 'naïve', UNHEX('2C2C22'));
    INSERT INTO csv_t
    SELECT 100 + seq, CONCAT('row ', seq, IF(seq % 3 = 0, ' \"q\"', '')), seq / 8, seq * 0.5,
           '2000-01-01' + INTERVAL seq DAY, '2000-01-01 00:00:00' + INTERVAL seq MINUTE,
           ELT(seq % 3 + 1, 'a', 'b', 'c'), ELT(seq % 4 + 1, '', 'x', 'y,z', 'x,y,z'),
           REPEAT('lorem \\\\ ', seq % 40), CONCAT('c', seq % 13), UNHEX(LPAD(HEX(seq), 6, '0'))
    FROM seq_1_to_300;

    CREATE TABLE arch (
      id INT NOT NULL AUTO_INCREMENT,
      n BIGINT,
      name VARCHAR(80) CHARACTER SET utf8mb4,
      tag CHAR(10) CHARACTER SET latin1,
      amount DECIMAL(14,4),
      at DATETIME,
      ts TIMESTAMP NULL,
      flag BIT(5),
      kind ENUM('one','two','three'),
      f FLOAT,
      doc TEXT CHARACTER SET utf8mb4,
      bin BLOB,
      KEY (id)
    ) ENGINE=ARCHIVE;
    INSERT INTO arch (n, name, tag, amount, at, ts, flag, kind, f, doc, bin)
    SELECT IF(seq % 10 = 0, NULL, seq * 1000003 * IF(seq % 2, 1, -1)),
           IF(seq % 11 = 0, NULL, CONCAT('name ', seq, ' ', REPEAT('é', seq % 20))),
           IF(seq % 13 = 0, NULL, LEFT(CONCAT('tag', seq % 10, 'xyz'), seq % 11)),
           IF(seq % 7 = 0, NULL, seq / 3),
           IF(seq % 17 = 0, NULL, '2010-05-05 05:05:05' + INTERVAL seq HOUR),
           IF(seq % 5 = 0, NULL, FROM_UNIXTIME(1300000000 + seq * 61)),
           IF(seq % 19 = 0, NULL, seq % 32),
           IF(seq % 23 = 0, NULL, ELT(seq % 3 + 1, 'one', 'two', 'three')),
           IF(seq % 29 = 0, NULL, seq / 4),
           CASE WHEN seq % 1000 = 0 THEN REPEAT(CONCAT(SHA1(seq), ' ✓'), 2000)
                WHEN seq % 3 = 0 THEN NULL
                WHEN seq % 3 = 1 THEN ''
                ELSE CONCAT('doc ', seq, ' ', REPEAT(CONCAT('w', seq % 97), seq % 9)) END,
           CASE WHEN seq % 1500 = 0 THEN REPEAT(UNHEX(SHA2(seq, 256)), 3000)
                WHEN seq % 4 = 0 THEN NULL
                ELSE UNHEX(REPEAT(LPAD(HEX(seq), 8, '0'), seq % 5)) END
    FROM (SELECT CAST(seq AS SIGNED) AS seq FROM seq_1_to_6000) q;
    CREATE TABLE arch_empty (a INT, b VARCHAR(10)) ENGINE=ARCHIVE;

    CREATE TABLE m1 (id INT NOT NULL, v VARCHAR(20), KEY (id)) ENGINE=MyISAM;
    CREATE TABLE m2 (id INT NOT NULL, v VARCHAR(20), KEY (id)) ENGINE=MyISAM;
    INSERT INTO m1 SELECT seq, CONCAT('m1-', seq) FROM seq_1_to_30;
    INSERT INTO m2 SELECT seq, CONCAT('m2-', seq) FROM seq_1_to_20;
    CREATE TABLE mrg (id INT NOT NULL, v VARCHAR(20), KEY (id))
      ENGINE=MERGE UNION=(m1, m2) INSERT_METHOD=LAST;
    CREATE TABLE bh (id INT, v VARCHAR(20)) ENGINE=BLACKHOLE;
    INSERT INTO bh VALUES (1, 'gone');
    CREATE TABLE aria_t (id INT PRIMARY KEY, v VARCHAR(20)) ENGINE=Aria;
    INSERT INTO aria_t SELECT seq, CONCAT('aria ', seq) FROM seq_1_to_50;"
sql -e "FLUSH TABLES"
# Rows written after the table was closed go into a deflate stream of their own.
sql eng -e "INSERT INTO arch (n, name, doc) SELECT seq, CONCAT('late ', seq), REPEAT('z', seq)
            FROM seq_1_to_40"
sql -e "FLUSH TABLES"

echo "== recording expected rows"
# The client can print a note of its own ("PAGER set to stdout") among the rows.
query() { sql --batch --skip-column-names -e "$1" | { grep -v '^PAGER set to stdout$' || true; }; }
: >"$OUT/expected/tables.tsv"
for t in $(query "SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = 'eng'
                  ORDER BY TABLE_NAME"); do
    cols=$(query "SELECT GROUP_CONCAT(CASE
                      WHEN DATA_TYPE LIKE '%blob' OR DATA_TYPE LIKE '%text' THEN
                        REPLACE('IF(@ IS NULL, NULL, IF(LENGTH(@) <= 64, CONCAT(''='', HEX(@)),
                                 CONCAT(LENGTH(@), '':'', SHA2(@, 256))))', '@',
                                CONCAT('\`', COLUMN_NAME, '\`'))
                      WHEN DATA_TYPE IN ('binary', 'varbinary', 'bit') THEN
                        CONCAT('HEX(\`', COLUMN_NAME, '\`)')
                      ELSE CONCAT('\`', COLUMN_NAME, '\`') END
                    ORDER BY ORDINAL_POSITION SEPARATOR ', ')
                  FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = 'eng' AND TABLE_NAME = '$t'")
    query "SELECT $cols FROM eng.\`$t\`" | LC_ALL=C sort >"$OUT/expected/$t.tsv"
    engine=$(query "SELECT ENGINE FROM information_schema.TABLES
                    WHERE TABLE_SCHEMA = 'eng' AND TABLE_NAME = '$t'")
    printf '%s\t%s\t%s\n' "$t" "$engine" "$(wc -l <"$OUT/expected/$t.tsv")" >>"$OUT/expected/tables.tsv"
done
# Which partition holds how many rows, as the server counts them.
query "SELECT TABLE_NAME, PARTITION_NAME, IFNULL(SUBPARTITION_NAME, ''), PARTITION_ORDINAL_POSITION,
              IFNULL(SUBPARTITION_ORDINAL_POSITION, 0)
       FROM information_schema.PARTITIONS WHERE TABLE_SCHEMA = 'eng' AND PARTITION_NAME IS NOT NULL
       ORDER BY TABLE_NAME, PARTITION_ORDINAL_POSITION, SUBPARTITION_ORDINAL_POSITION" \
    >"$OUT/expected/partitions.tsv"
cat "$OUT/expected/tables.tsv"

mdb_stop
mkdir -p "$OUT/datadir/eng"
cp -a "$WORK"/eng/. "$OUT/datadir/eng/"
cp -a "$WORK/ibdata1" "$OUT/datadir/"
if [[ -n ${KEEP:-} ]]; then
    rm -rf "$KEEP"
    cp -a "$WORK" "$KEEP"
fi
mkdir -p "$(dirname "$OUTFILE")"
tar -C "$TMP" --sort=name --owner=0 --group=0 --numeric-owner --mtime=@0 -cf - engine-tables |
    xz -9e -T1 >"$OUTFILE"
echo "wrote $OUTFILE ($(stat -c %s "$OUTFILE") bytes)"
ls -la "$OUT/datadir/eng" | wc -l
