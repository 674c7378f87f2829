#!/usr/bin/env bash
# Builds the InnoDB record-format fixture with a private MariaDB server:
# tables changed by instant ALTER TABLE (columns added at the end, FIRST and
# AFTER, dropped, several times, with rows written between the changes) in
# every row format that allows it, and ROW_FORMAT=REDUNDANT tables in their
# own .ibd files and inside ibdata1.
#
#   scripts/make-innodb-format-fixtures.sh [OUT.tar.xz]
#                                        (default tests/fixtures/innodb-formats.tar.xz)
#
# The archive unpacks to innodb-formats/: datadir/ (ibdata1 and fmt/ with each
# table's .frm and .ibd), expected/<table>.tsv (rows sorted bytewise, columns
# in table order, `mariadb --batch` escaping; binary columns as HEX(),
# BLOB/TEXT as LENGTH:SHA2-256) and expected/tables.tsv (table, row format,
# what was done to it, row count).
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO=$(cd "$HERE/.." && pwd)
# shellcheck source=scripts/mariadb-lib.sh
source "$HERE/mariadb-lib.sh"

OUTFILE=${1:-$REPO/tests/fixtures/innodb-formats.tar.xz}
TMP=$(mktemp -d /tmp/innodb-formats.XXXXXX)
cleanup() {
    mdb_cleanup
    rm -rf "$TMP"
}
trap cleanup EXIT

WORK="$TMP/server"
OUT="$TMP/innodb-formats"
mkdir -p "$OUT/datadir/fmt" "$OUT/expected"
mdb_install "$WORK"
mdb_start "$WORK" "$TMP/run/mariadbd.sock" "$(mdb_free_port)"
sql() { mdb_sql --default-character-set=utf8mb4 fmt "$@"; }
mdb_sql -e "CREATE DATABASE fmt CHARACTER SET utf8mb4"
declare -A HISTORY

# Every ALTER below must be done in place without a copy: were it not, the
# table would be rebuilt in the plain format and test nothing.
instant() { sql -e "SET SESSION alter_algorithm = 'INSTANT'; $1"; }

# A value of about `len` bytes that does not compress away.
long_text() { echo "RPAD(CONCAT('long ', $1, ' '), $2, MD5($1))"; }

for fmt in COMPACT DYNAMIC REDUNDANT; do
    f=${fmt,,}
    t="add_end_$f"
    sql -e "
        CREATE TABLE $t (
          id INT NOT NULL PRIMARY KEY,
          a INT,
          b VARCHAR(20)
        ) ENGINE=InnoDB ROW_FORMAT=$fmt;
        INSERT INTO $t SELECT seq, seq * 3, IF(seq % 5 = 0, NULL, CONCAT('b', seq))
        FROM seq_1_to_300;"
    instant "ALTER TABLE $t
               ADD c INT NOT NULL DEFAULT 42,
               ADD d VARCHAR(30) CHARACTER SET utf8mb4 DEFAULT 'dflt ü',
               ADD e DATETIME NULL,
               ADD g CHAR(5) NOT NULL DEFAULT 'ab',
               ADD h DECIMAL(8,2) NOT NULL DEFAULT -12.5,
               ADD i TEXT DEFAULT 'text default',
               ADD j BIGINT UNSIGNED DEFAULT 18446744073709551615,
               ADD k VARBINARY(8) DEFAULT 0x00ff10"
    sql -e "
        INSERT INTO $t SELECT seq, seq, CONCAT('new ', seq), seq * 2, 'given',
               '2020-01-02 03:04:05' + INTERVAL seq MINUTE, 'xyz', seq / 4,
               IF(seq % 3 = 0, NULL, CONCAT('doc ', seq)), seq, UNHEX(HEX(seq))
        FROM seq_301_to_500;
        UPDATE $t SET c = -1 WHERE id % 10 = 0 AND id <= 300;
        UPDATE $t SET d = NULL, i = $(long_text id 3000) WHERE id % 25 = 0;
        INSERT INTO $t (id, a) VALUES (1000, 1);"
    HISTORY[$t]="$fmt: 8 columns added at the end"

    t="add_steps_$f"
    sql -e "
        CREATE TABLE $t (id INT NOT NULL PRIMARY KEY, v VARCHAR(10) NOT NULL)
          ENGINE=InnoDB ROW_FORMAT=$fmt;
        INSERT INTO $t SELECT seq, CONCAT('v', seq) FROM seq_1_to_100;"
    for step in 1 2 3 4; do
        instant "ALTER TABLE $t ADD s$step VARCHAR(12) DEFAULT 'step $step',
                   ADD n$step SMALLINT NOT NULL DEFAULT $step"
        sql -e "INSERT INTO $t (id, v, s$step, n$step)
                SELECT seq, 'later', CONCAT('set ', seq), -seq
                FROM seq_$((step * 100 + 1))_to_$((step * 100 + 50))"
    done
    HISTORY[$t]="$fmt: four ALTERs adding columns, rows between them"
done

for fmt in COMPACT DYNAMIC REDUNDANT; do
    f=${fmt,,}
    t="reorder_$f"
    sql -e "
        CREATE TABLE $t (
          id INT NOT NULL PRIMARY KEY,
          a INT NOT NULL,
          b VARCHAR(40),
          c DATE
        ) ENGINE=InnoDB ROW_FORMAT=$fmt;
        INSERT INTO $t SELECT seq, seq * 7, CONCAT('b ', seq), '2000-01-01' + INTERVAL seq DAY
        FROM seq_1_to_200;"
    instant "ALTER TABLE $t ADD x INT DEFAULT 9 FIRST, ADD y CHAR(3) NOT NULL DEFAULT 'yy' AFTER a"
    sql -e "INSERT INTO $t VALUES (-1, 201, 1, 'y1', 'after first', NULL),
                                  (NULL, 202, 2, 'y2', NULL, '2011-11-11');"
    instant "ALTER TABLE $t MODIFY c DATE AFTER id, MODIFY x INT AFTER b"
    sql -e "INSERT INTO $t (id, c, a, y, b, x) VALUES (203, '2012-12-12', 3, 'y3', 'moved', 33);"
    HISTORY[$t]="$fmt: columns added FIRST and AFTER, then moved"

    t="dropped_$f"
    sql -e "
        CREATE TABLE $t (
          id INT NOT NULL PRIMARY KEY,
          fixed_nn BIGINT NOT NULL,
          var_null VARCHAR(300) CHARACTER SET utf8mb4,
          keep1 VARCHAR(20),
          fixed_null INT,
          blob_col BLOB,
          keep2 DATETIME NOT NULL
        ) ENGINE=InnoDB ROW_FORMAT=$fmt;
        INSERT INTO $t SELECT seq, seq * 100, IF(seq % 4 = 0, NULL, REPEAT('ä', seq % 90)),
               CONCAT('k', seq), IF(seq % 3 = 0, NULL, seq),
               IF(seq % 50 = 0, $(long_text seq 12000), UNHEX(MD5(seq))),
               '2001-01-01 00:00:00' + INTERVAL seq HOUR
        FROM seq_1_to_300;"
    instant "ALTER TABLE $t DROP COLUMN var_null, DROP COLUMN fixed_nn"
    sql -e "INSERT INTO $t SELECT seq, CONCAT('after drop ', seq), seq, NULL, '2002-02-02'
            FROM seq_301_to_350;
            UPDATE $t SET keep1 = 'updated' WHERE id % 40 = 0;"
    instant "ALTER TABLE $t DROP COLUMN blob_col, ADD fresh VARCHAR(10) DEFAULT 'fresh' AFTER keep1"
    sql -e "INSERT INTO $t SELECT seq, 'after second', 'f', seq, '2003-03-03'
            FROM seq_351_to_380;"
    instant "ALTER TABLE $t DROP COLUMN fixed_null"
    HISTORY[$t]="$fmt: fixed, variable and BLOB columns dropped over three ALTERs, one added AFTER"
done

# No primary key (the hidden row id), a variable-length key, and a table deep
# enough to have node-pointer pages, each changed by both kinds of ALTER.
sql -e "
    CREATE TABLE nokey_dynamic (a INT, b VARCHAR(30), c INT) ENGINE=InnoDB ROW_FORMAT=DYNAMIC;
    INSERT INTO nokey_dynamic SELECT seq % 7, CONCAT('row ', seq), seq FROM seq_1_to_150;
    CREATE TABLE varkey_compact (
      k VARCHAR(50) CHARACTER SET latin1 NOT NULL PRIMARY KEY,
      n INT NOT NULL,
      old_v VARCHAR(30),
      w CHAR(4)
    ) ENGINE=InnoDB ROW_FORMAT=COMPACT;
    INSERT INTO varkey_compact SELECT CONCAT('key ', MD5(seq)), seq, CONCAT('o', seq), 'w'
    FROM seq_1_to_200;
    CREATE TABLE deep_dynamic (
      id INT NOT NULL PRIMARY KEY,
      n1 INT, n2 VARCHAR(200), n3 INT, n4 DOUBLE, n5 VARCHAR(100), n6 INT, n7 INT,
      n8 INT, n9 TINYINT
    ) ENGINE=InnoDB ROW_FORMAT=DYNAMIC;
    INSERT INTO deep_dynamic SELECT seq, IF(seq % 2, NULL, seq), REPEAT('d', seq % 150), seq,
           seq / 3, IF(seq % 5, CONCAT('five ', seq), NULL), seq, NULL, seq, seq % 100
    FROM seq_1_to_6000;"
instant "ALTER TABLE nokey_dynamic ADD d VARCHAR(8) NOT NULL DEFAULT 'dd' FIRST, DROP COLUMN b"
sql -e "INSERT INTO nokey_dynamic (d, a, c) VALUES ('new', 1, 1), ('new2', NULL, 2)"
instant "ALTER TABLE varkey_compact DROP COLUMN old_v, ADD z INT DEFAULT 5"
sql -e "INSERT INTO varkey_compact VALUES ('key new', 1, 'ww', NULL), ('a first', 2, 'aa', 7)"
instant "ALTER TABLE deep_dynamic ADD m1 INT NOT NULL DEFAULT 77, ADD m2 VARCHAR(10)"
sql -e "UPDATE deep_dynamic SET m2 = 'half' WHERE id % 2 = 0;
        INSERT INTO deep_dynamic (id, m1) SELECT seq, seq FROM seq_6001_to_6200;"
instant "ALTER TABLE deep_dynamic DROP COLUMN n2, ADD m3 DATE DEFAULT '2024-02-29' AFTER id"
HISTORY[nokey_dynamic]="DYNAMIC, no primary key: a column added FIRST, one dropped"
HISTORY[varkey_compact]="COMPACT, VARCHAR primary key: a column dropped, one added"
HISTORY[deep_dynamic]="DYNAMIC, three-level tree: columns added, one dropped, one added AFTER"

# REDUNDANT allows more in place: NOT NULL to NULL, and a VARCHAR widened past
# 255 bytes, which old records keep in their first form.
sql -e "
    CREATE TABLE widened_redundant (
      id INT NOT NULL PRIMARY KEY,
      small INT NOT NULL,
      code CHAR(4) NOT NULL,
      name VARCHAR(20) NOT NULL
    ) ENGINE=InnoDB ROW_FORMAT=REDUNDANT;
    INSERT INTO widened_redundant SELECT seq, -seq * 1000, CONCAT('c', seq), CONCAT('n', seq)
    FROM seq_1_to_100;"
instant "ALTER TABLE widened_redundant MODIFY small INT NULL, MODIFY code CHAR(4) NULL,
           MODIFY name VARCHAR(300) NULL"
sql -e "INSERT INTO widened_redundant VALUES (101, NULL, NULL, NULL), (102, 1, 'c', REPEAT('n', 299))"
HISTORY[widened_redundant]="REDUNDANT: NOT NULL to NULL, VARCHAR(20) to VARCHAR(300)"

# Emptied after its ALTER: the root may keep the instant marks with no rows.
sql -e "CREATE TABLE emptied_compact (id INT PRIMARY KEY, v INT) ENGINE=InnoDB ROW_FORMAT=COMPACT;
        INSERT INTO emptied_compact VALUES (1, 1), (2, 2);"
instant "ALTER TABLE emptied_compact ADD w INT DEFAULT 3"
sql -e "DELETE FROM emptied_compact"
HISTORY[emptied_compact]="COMPACT: a column added, then every row deleted"

# REDUNDANT tables without ALTERs, in their own files and in ibdata1: every
# type, NULLs in fixed and variable fields, values kept off the page.
redundant_table() {
    local t=$1
    sql -e "
        CREATE TABLE $t (
          id INT NOT NULL PRIMARY KEY,
          i8 TINYINT, u16 SMALLINT UNSIGNED, i24 MEDIUMINT, i64 BIGINT NOT NULL,
          amount DECIMAL(12,3), ratio FLOAT, big DOUBLE,
          created DATETIME(6), stamp TIMESTAMP(3) NULL, day DATE, tod TIME(2), yr YEAR,
          code CHAR(6) CHARACTER SET utf8mb4, tag CHAR(8) CHARACTER SET latin1,
          bin4 BINARY(4), name VARCHAR(40) CHARACTER SET utf8mb4,
          note VARCHAR(600) CHARACTER SET latin1, raw VARBINARY(12), flags BIT(10),
          e ENUM('one', 'two', 'three'), s SET('a', 'b', 'c'),
          doc MEDIUMTEXT CHARACTER SET utf8mb4, bin MEDIUMBLOB
        ) ENGINE=InnoDB ROW_FORMAT=REDUNDANT;
        INSERT INTO $t
        SELECT seq, IF(seq % 10 = 0, NULL, seq % 256 - 128), IF(seq % 11 = 0, NULL, seq * 97 % 65536),
               seq * 7919 % 16777216 - 8388608, seq * 1000000007 * IF(seq % 2, 1, -1),
               IF(seq % 13 = 0, NULL, seq * 12.345), IF(seq % 9 = 0, NULL, seq / 8),
               seq * 1.0e100 / 7, 
               IF(seq % 8 = 0, NULL, '2001-02-03 04:05:06.789012' + INTERVAL seq * 86413 SECOND),
               IF(seq % 7 = 0, NULL, FROM_UNIXTIME(1000000000 + seq * 3607.125)),
               IF(seq % 17 = 0, NULL, '1999-12-31' + INTERVAL seq DAY),
               IF(seq % 6 = 0, NULL, SEC_TO_TIME(seq * 173 % 86400 - 40000 + 0.25)),
               IF(seq % 19 = 0, NULL, 1901 + seq % 255),
               IF(seq % 4 = 0, NULL, CONCAT('c', seq % 1000, IF(seq % 5 = 0, 'é', ''))),
               IF(seq % 3 = 0, NULL, ELT(seq % 4 + 1, 'red', 'grün', 'blue', '')),
               IF(seq % 5 = 0, NULL, UNHEX(LPAD(HEX(seq), 6, '0'))),
               IF(seq % 9 = 1, NULL, CONCAT(ELT(seq % 5 + 1, 'Anna', 'Jiří', 'Zoë', 'Łukasz', '李'),
                                            ' ', seq, IF(seq % 10 = 1, '😀', ''))),
               IF(seq % 6 = 1, NULL, RPAD('note ', 100 + seq % 400, 'xyz')),
               IF(seq % 8 = 1, NULL, UNHEX(SUBSTR(MD5(seq), 1, 2 * (seq % 12)))),
               IF(seq % 12 = 0, NULL, seq % 1024),
               IF(seq % 14 = 0, NULL, ELT(seq % 3 + 1, 'one', 'two', 'three')),
               IF(seq % 15 = 0, NULL, ELT(seq % 4 + 1, '', 'a', 'b,c', 'a,b,c')),
               CASE WHEN seq % 60 = 0 THEN $(long_text seq 30000)
                    WHEN seq % 4 = 0 THEN NULL
                    ELSE CONCAT('doc ', seq, ' ', REPEAT('ž', seq % 30)) END,
               CASE WHEN seq % 45 = 0 THEN UNHEX(REPEAT(MD5(seq), 400))
                    WHEN seq % 5 = 0 THEN NULL
                    ELSE UNHEX(MD5(seq)) END
        FROM (SELECT CAST(seq AS SIGNED) AS seq FROM seq_1_to_700) q;
        UPDATE $t SET name = CONCAT(name, ' upd') WHERE id % 7 = 0;
        DELETE FROM $t WHERE id % 23 = 0;"
}
redundant_table types_redundant
HISTORY[types_redundant]="REDUNDANT in its own tablespace: every type, NULLs, off-page values"
sql -e "
    CREATE TABLE nokey_redundant (a INT, b VARCHAR(30), c CHAR(3)) ENGINE=InnoDB ROW_FORMAT=REDUNDANT;
    INSERT INTO nokey_redundant SELECT seq % 9, IF(seq % 4 = 0, NULL, CONCAT('r', seq)),
           IF(seq % 3 = 0, NULL, 'c') FROM seq_1_to_500;"
HISTORY[nokey_redundant]="REDUNDANT, no primary key"

mdb_sql -e "SET GLOBAL innodb_file_per_table = OFF"
redundant_table types_redundant_sys
HISTORY[types_redundant_sys]="REDUNDANT inside ibdata1: every type, NULLs, off-page values"
sql -e "
    CREATE TABLE altered_compact_sys (id INT PRIMARY KEY, a VARCHAR(20), b INT)
      ENGINE=InnoDB ROW_FORMAT=COMPACT;
    INSERT INTO altered_compact_sys SELECT seq, CONCAT('a', seq), seq FROM seq_1_to_300;"
instant "ALTER TABLE altered_compact_sys ADD c INT NOT NULL DEFAULT 3 FIRST, DROP COLUMN a"
sql -e "INSERT INTO altered_compact_sys VALUES (4, 301, 301)"
HISTORY[altered_compact_sys]="COMPACT inside ibdata1: a column added FIRST, one dropped"
mdb_sql -e "SET GLOBAL innodb_file_per_table = ON"

echo "== recording expected rows"
query() { sql --batch --skip-column-names -e "$1"; }
: >"$OUT/expected/tables.tsv"
for t in $(query "SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = 'fmt'
                  ORDER BY TABLE_NAME"); do
    cols=$(query "SELECT GROUP_CONCAT(CASE
                      WHEN DATA_TYPE LIKE '%blob' OR DATA_TYPE LIKE '%text' THEN
                        CONCAT('IF(\`', COLUMN_NAME, '\` IS NULL, NULL, CONCAT(LENGTH(\`',
                               COLUMN_NAME, '\`), '':'', SHA2(\`', COLUMN_NAME, '\`, 256)))')
                      WHEN DATA_TYPE IN ('binary', 'varbinary') THEN
                        CONCAT('HEX(\`', COLUMN_NAME, '\`)')
                      ELSE CONCAT('\`', COLUMN_NAME, '\`') END
                    ORDER BY ORDINAL_POSITION SEPARATOR ', ')
                  FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = 'fmt' AND TABLE_NAME = '$t'")
    query "SELECT $cols FROM fmt.\`$t\`" | LC_ALL=C sort >"$OUT/expected/$t.tsv"
    rf=$(query "SELECT ROW_FORMAT FROM information_schema.TABLES
                WHERE TABLE_SCHEMA = 'fmt' AND TABLE_NAME = '$t'")
    printf '%s\t%s\t%s\t%s\n' "$t" "$rf" "${HISTORY[$t]:-}" "$(wc -l <"$OUT/expected/$t.tsv")" \
        >>"$OUT/expected/tables.tsv"
done
cat "$OUT/expected/tables.tsv"

mdb_stop
cp "$WORK/ibdata1" "$OUT/datadir/"
cp "$WORK"/fmt/*.frm "$WORK"/fmt/*.ibd "$WORK/fmt/db.opt" "$OUT/datadir/fmt/"
mkdir -p "$(dirname "$OUTFILE")"
tar -C "$TMP" --sort=name --owner=0 --group=0 --numeric-owner --mtime=@0 -cf - innodb-formats |
    xz -9e -T1 >"$OUTFILE"
echo "wrote $OUTFILE ($(stat -c %s "$OUTFILE") bytes)"
