#!/usr/bin/env bash
# Small data directories written with other page checksum algorithms than the
# sample's crc32, for the page checks:
#
#   scripts/make-checksum-fixtures.sh [--pack] [ALGORITHM...]   (default: full_crc32)
#
# Each ALGORITHM gives tests/fixtures/checksum-ALGORITHM.tar.xz with --pack,
# else OUT (default /tmp/checksum-fixtures)/checksum-ALGORITHM/. The folder
# holds ibdata1, the `fc` database (`fc.many`: 3000 rows over many leaves,
# `fc.docs`: off-page TEXT, `fc.sys_rows`: inside ibdata1) and rowcounts.tsv.
# MariaDB 10.11 refuses innodb and none (it no longer writes them); those
# are skipped with a note.
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO=$(cd "$HERE/.." && pwd)
# shellcheck source=scripts/mariadb-lib.sh
source "$HERE/mariadb-lib.sh"

PACK=0
if [[ ${1:-} == --pack ]]; then
    PACK=1
    shift
fi
ALGORITHMS=("$@")
[[ ${#ALGORITHMS[@]} -gt 0 ]] || ALGORITHMS=(full_crc32)
OUT=${CHECKSUM_FIXTURES_OUT:-/tmp/checksum-fixtures}
mkdir -p "$OUT"

RUN=$(mktemp -d /tmp/mdb-checksum.XXXXXX)
cleanup() {
    mdb_cleanup
    rm -rf "$RUN"
}
trap cleanup EXIT

BASE_OPTS=("${MDB_SERVER_OPTS[@]}")

make_one() {
    local algorithm=$1
    if mariadbd --no-defaults --innodb-checksum-algorithm="$algorithm" --verbose --help 2>&1 |
            grep -q "Error while setting value"; then
        echo "== $algorithm: this mariadbd does not write it, skipped"
        return 0
    fi
    local name="checksum-$algorithm" work="$RUN/$algorithm-work" dest="$RUN/checksum-$algorithm"
    MDB_SERVER_OPTS=()
    for o in "${BASE_OPTS[@]}"; do
        [[ $o == --innodb-checksum-algorithm=* ]] || MDB_SERVER_OPTS+=("$o")
    done
    MDB_SERVER_OPTS+=("--innodb-checksum-algorithm=$algorithm")
    echo "== $algorithm: installing"
    mdb_install "$work"
    mdb_start "$work" "$RUN/mariadbd.sock" "$(mdb_free_port)"
    mdb_sql <<'SQL'
CREATE DATABASE fc CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci;
USE fc;
CREATE TABLE many (id INT NOT NULL PRIMARY KEY, name VARCHAR(40) NOT NULL, n BIGINT,
                     note VARCHAR(200)) ENGINE=InnoDB ROW_FORMAT=COMPACT;
INSERT INTO many
  SELECT seq, CONCAT('row', seq), seq * 7, REPEAT(CHAR(97 + seq % 26), 20 + seq % 150)
  FROM seq_1_to_3000;
CREATE TABLE docs (id INT NOT NULL PRIMARY KEY, body MEDIUMTEXT) ENGINE=InnoDB ROW_FORMAT=DYNAMIC;
INSERT INTO docs SELECT seq, IF(seq % 3 = 0, NULL, REPEAT(CONCAT('doc', seq, ' '), 4000 + seq))
  FROM seq_1_to_12;
SET GLOBAL innodb_file_per_table = OFF;
CREATE TABLE sys_rows (id INT NOT NULL PRIMARY KEY, label VARCHAR(30) NOT NULL) ENGINE=InnoDB
  ROW_FORMAT=COMPACT;
INSERT INTO sys_rows SELECT seq, CONCAT('label', seq) FROM seq_1_to_900;
SET GLOBAL innodb_file_per_table = ON;
FLUSH TABLES;
SQL
    mdb_sql --batch --skip-column-names -e "
      SELECT 'fc', 'docs', COUNT(*) FROM fc.docs UNION ALL
      SELECT 'fc', 'many', COUNT(*) FROM fc.many UNION ALL
      SELECT 'fc', 'sys_rows', COUNT(*) FROM fc.sys_rows" >"$RUN/rowcounts.tsv"
    mdb_stop
    mkdir -p "$dest/fc"
    cp "$work/ibdata1" "$dest/"
    cp "$work"/fc/*.frm "$work"/fc/*.ibd "$work/fc/db.opt" "$dest/fc/"
    cp "$RUN/rowcounts.tsv" "$dest/"
    if ((PACK)); then
        tar -C "$RUN" --sort=name --owner=0 --group=0 --numeric-owner --mtime=@0 \
            -cf - "$name" | xz -9 -T1 >"$REPO/tests/fixtures/$name.tar.xz"
        echo "== wrote tests/fixtures/$name.tar.xz ($(stat -c %s "$REPO/tests/fixtures/$name.tar.xz") bytes)"
    else
        rm -rf "${OUT:?}/$name"
        mv "$dest" "$OUT/$name"
        echo "== wrote $OUT/$name"
    fi
    rm -rf "$work"
}

for a in "${ALGORITHMS[@]}"; do
    make_one "$a"
done
