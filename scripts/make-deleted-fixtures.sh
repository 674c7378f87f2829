#!/usr/bin/env bash
# Builds the deleted-rows fixture with a private MariaDB server: rows deleted
# the ways such records stay in the files.
#
#   scripts/make-deleted-fixtures.sh [OUT.tar.xz]   (default tests/fixtures/deleted-rows.tar.xz)
#
#   purged.t, purged.r   InnoDB COMPACT and REDUNDANT; rows deleted, purge let run to its end: the records sit
#              on the pages' free lists
#   snap.t, snap.r       the same; rows deleted while another connection holds a consistent
#              snapshot, so purge cannot remove them: delete-marked records;
#              pages flushed, then the server killed with SIGKILL
#   mi.fixed, mi.dyn   MyISAM fixed-length and dynamic rows after DELETE
#
# The archive unpacks to deleted-rows/: datadir/ (ibdata1 and the three
# database folders, no redo log) and expected/<db>.<table>.{live,deleted}.tsv,
# the rows before the run ended, as `mariadb --batch` prints them, sorted.
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO=$(cd "$HERE/.." && pwd)
# shellcheck source=scripts/mariadb-lib.sh
source "$HERE/mariadb-lib.sh"

OUTFILE=${1:-$REPO/tests/fixtures/deleted-rows.tar.xz}
TMP=$(mktemp -d /tmp/deleted-fixtures.XXXXXX)
HOLDER_PID=""
cleanup() {
    [[ -n $HOLDER_PID ]] && kill "$HOLDER_PID" 2>/dev/null
    mdb_cleanup
    rm -rf "$TMP"
}
trap cleanup EXIT

WORK="$TMP/server"
OUT="$TMP/deleted-rows"
mkdir -p "$OUT/expected"
mdb_install "$WORK"
mdb_start "$WORK" "$TMP/run/mariadbd.sock" "$(mdb_free_port)"
sql() { mdb_sql --default-character-set=utf8mb4 "$@"; }

TABLE_COLUMNS="id INT NOT NULL PRIMARY KEY, name VARCHAR(40) CHARACTER SET utf8mb4 NOT NULL,
  d DATE NOT NULL, ts DATETIME NULL, e ENUM('red','green','blue') NOT NULL,
  amount DECIMAL(10,2) NOT NULL, note VARCHAR(200) CHARACTER SET latin1 NULL"
# 600 rows of varied lengths, some NULLs and non-ASCII text.
FILL="SELECT seq, CONCAT('name-', seq, IF(seq % 7 = 0, ' é日本', ''), REPEAT('x', seq % 23)),
  DATE('2020-01-01') + INTERVAL seq DAY, IF(seq % 5 = 0, NULL, TIMESTAMP('2021-03-04 05:06:07') + INTERVAL seq * 3671 SECOND),
  ELT(1 + seq % 3, 'red', 'green', 'blue'), seq * 12.25 - 3000,
  IF(seq % 4 = 0, NULL, REPEAT(CHAR(97 + seq % 26), seq % 60)) FROM seq_1_to_600"
# Every third row and one stretch: pages stay more than half full, so none is merged away.
WHERE="id % 3 = 1 OR id BETWEEN 300 AND 330"

dump() {  # db.table kind where
    sql -N -B -e "SELECT * FROM $1 WHERE $3" | LC_ALL=C sort >"$OUT/expected/$1.$2.tsv"
}

echo "== purged: deleted, purge run to its end"
sql -e "CREATE DATABASE purged; CREATE TABLE purged.t ($TABLE_COLUMNS) ENGINE=InnoDB;
  CREATE TABLE purged.r ($TABLE_COLUMNS) ENGINE=InnoDB ROW_FORMAT=REDUNDANT"
for t in purged.t purged.r; do
    sql -D purged -e "INSERT INTO $t $FILL"
    dump $t deleted "$WHERE"
    dump $t live "NOT ($WHERE)"
    sql -e "DELETE FROM $t WHERE $WHERE"
done
# Wait for purge: the history list empties.
for _ in $(seq 1 300); do
    h=$(sql -N -B -e "SELECT COUNT FROM information_schema.INNODB_METRICS WHERE NAME='trx_rseg_history_len'")
    [[ $h == 0 ]] && break
    sleep 0.2
done

echo "== mi: MyISAM fixed and dynamic"
sql -e "CREATE DATABASE mi; USE mi;
  CREATE TABLE mi.fixed (id INT NOT NULL PRIMARY KEY, code CHAR(10) NOT NULL, d DATE NOT NULL, n BIGINT NULL) ENGINE=MyISAM ROW_FORMAT=FIXED;
  INSERT INTO mi.fixed SELECT seq, CONCAT('c', seq), DATE('2019-05-01') + INTERVAL seq DAY, IF(seq % 6 = 0, NULL, seq * 1001) FROM seq_1_to_300;
  CREATE TABLE mi.dyn (id INT NOT NULL PRIMARY KEY, name VARCHAR(80) NOT NULL, note TEXT NULL) ENGINE=MyISAM ROW_FORMAT=DYNAMIC;
  INSERT INTO mi.dyn SELECT seq, CONCAT('dyn-', seq, REPEAT('y', seq % 37)), IF(seq % 5 = 0, NULL, REPEAT('z', seq % 90)) FROM seq_1_to_300;"
for t in mi.fixed mi.dyn; do
    dump $t deleted "id % 4 = 2"
    dump $t live "NOT (id % 4 = 2)"
    sql -e "DELETE FROM $t WHERE id % 4 = 2"
done
sql -e "FLUSH TABLES"

echo "== snap: deleted under a consistent snapshot, then SIGKILL"
sql -e "CREATE DATABASE snap; CREATE TABLE snap.t ($TABLE_COLUMNS) ENGINE=InnoDB;
  CREATE TABLE snap.r ($TABLE_COLUMNS) ENGINE=InnoDB ROW_FORMAT=REDUNDANT"
for t in snap.t snap.r; do
    sql -D snap -e "INSERT INTO $t $FILL"
    dump $t deleted "$WHERE"
    dump $t live "NOT ($WHERE)"
done
sql -e "START TRANSACTION WITH CONSISTENT SNAPSHOT; SELECT COUNT(*) FROM snap.t; SELECT SLEEP(900)" >/dev/null &
HOLDER_PID=$!
sleep 1
sql -e "DELETE FROM snap.t WHERE $WHERE; DELETE FROM snap.r WHERE $WHERE"
sql -e "SET GLOBAL innodb_max_dirty_pages_pct_lwm=0; SET GLOBAL innodb_max_dirty_pages_pct=0"
for _ in $(seq 1 300); do
    d=$(sql -N -B -e "SELECT VARIABLE_VALUE FROM information_schema.GLOBAL_STATUS WHERE VARIABLE_NAME='INNODB_BUFFER_POOL_PAGES_DIRTY'")
    [[ $d == 0 ]] && break
    sleep 0.2
done
echo "dirty pages left: $d"
kill -KILL "$MDB_PID"
wait "$MDB_PID" 2>/dev/null || true
MDB_PID=""
kill "$HOLDER_PID" 2>/dev/null || true
HOLDER_PID=""

mkdir -p "$OUT/datadir"
cp "$WORK/ibdata1" "$OUT/datadir/"
for db in purged snap mi; do cp -r "$WORK/$db" "$OUT/datadir/"; done
mkdir -p "$(dirname "$OUTFILE")"
tar -C "$TMP" -cJf "$OUTFILE" deleted-rows
ls -l "$OUTFILE"
wc -l "$OUT"/expected/*.tsv
