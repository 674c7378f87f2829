#!/usr/bin/env bash
# Build a MariaDB data directory with known content for the recovery tests.
#
#   scripts/make-fixtures.sh OUTDIR
#
# OUTDIR/datadir-work  full server data directory (kept for debugging)
# OUTDIR/datadir       only the files the recovery tool reads
# OUTDIR/expected      what a live server reported about that content
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/mariadb-lib.sh
source "$HERE/mariadb-lib.sh"

if [[ $# -ne 1 ]]; then
    echo "usage: $0 OUTDIR" >&2
    exit 2
fi
mkdir -p "$1"
OUT=$(cd "$1" && pwd)

# Schema names as the server knows them; on disk `my-db` is `my@002ddb`.
FIXTURE_DBS=(shop legacy types inner my-db)
SYSTEM_DIRS=(mysql performance_schema sys)

WORK="$OUT/datadir-work"
DATADIR="$OUT/datadir"
EXPECTED="$OUT/expected"
rm -rf "$WORK" "$DATADIR" "$EXPECTED"
mkdir -p "$EXPECTED/dump"

# Sockets have a short path limit, so they live in /tmp, not under OUTDIR.
RUN=$(mktemp -d /tmp/mdb-fixtures.XXXXXX)
cleanup() {
    mdb_cleanup
    rm -rf "$RUN"
}
trap cleanup EXIT

echo "== installing data directory in $WORK"
mdb_install "$WORK"
PORT=$(mdb_free_port)
echo "== starting private mariadbd on port $PORT"
mdb_start "$WORK" "$RUN/mariadbd.sock" "$PORT"

SQL=(mdb_sql --default-character-set=utf8mb4)

echo "== loading content"
python3 "$HERE/fixture-content.py" >"$RUN/content.sql"
# --comments keeps the comment inside the trigger body.
"${SQL[@]}" --batch --comments <"$RUN/content.sql"
"${SQL[@]}" -e "FLUSH TABLES"

# ------------------------------------------------------------ expected files
echo "== recording expected content"
in_list=""
for db in "${FIXTURE_DBS[@]}"; do
    in_list+="${in_list:+,}'$db'"
done
query() { "${SQL[@]}" --batch --skip-column-names -e "$1"; }
tsv_sort() { LC_ALL=C sort -t $'\t' "$@"; }

for db in "${FIXTURE_DBS[@]}"; do
    mariadb-dump --no-defaults -uroot --socket="$MDB_SOCKET" \
        --default-character-set=utf8mb4 \
        --skip-extended-insert --hex-blob --order-by-primary --skip-dump-date \
        --routines=0 --triggers "$db" >"$EXPECTED/dump/$db.sql"
done

query "SELECT TABLE_SCHEMA, TABLE_NAME FROM information_schema.TABLES
       WHERE TABLE_SCHEMA IN ($in_list) AND TABLE_TYPE = 'BASE TABLE'" >"$RUN/tables"
: >"$RUN/counts"
while IFS=$'\t' read -r db table; do
    n=$(query "SELECT COUNT(*) FROM \`$db\`.\`$table\`")
    printf '%s\t%s\t%s\n' "$db" "$table" "$n" >>"$RUN/counts"
done <"$RUN/tables"
tsv_sort -k1,1 -k2,2 "$RUN/counts" >"$EXPECTED/rowcounts.tsv"

query "SELECT TABLE_SCHEMA, TABLE_NAME, ORDINAL_POSITION, COLUMN_NAME, COLUMN_TYPE,
              IS_NULLABLE, CHARACTER_SET_NAME, COLLATION_NAME
       FROM information_schema.COLUMNS WHERE TABLE_SCHEMA IN ($in_list)" |
    tsv_sort -k1,1 -k2,2 -k3,3n >"$EXPECTED/columns.tsv"

query "SELECT TABLE_SCHEMA, TABLE_NAME, TABLE_TYPE, IFNULL(ENGINE, ''),
              IFNULL(ROW_FORMAT, ''), IFNULL(TABLE_COLLATION, '')
       FROM information_schema.TABLES WHERE TABLE_SCHEMA IN ($in_list)" |
    tsv_sort -k1,1 -k2,2 >"$EXPECTED/tables.tsv"

query "SELECT SCHEMA_NAME, DEFAULT_CHARACTER_SET_NAME, DEFAULT_COLLATION_NAME
       FROM information_schema.SCHEMATA WHERE SCHEMA_NAME IN ($in_list)" |
    tsv_sort -k1,1 >"$EXPECTED/schemata.tsv"

# ------------------------------------------------------------ shutdown, copy
echo "== slow shutdown"
mdb_stop

echo "== copying recovery input to $DATADIR"
mkdir -p "$DATADIR"
cp -p "$WORK/ibdata1" "$DATADIR/"
for dir in "$WORK"/*/; do
    name=$(basename "$dir")
    skip=0
    for sys_dir in "${SYSTEM_DIRS[@]}"; do
        [[ $name == "$sys_dir" ]] && skip=1
    done
    ((skip)) && continue
    cp -a "$WORK/$name" "$DATADIR/"
done

for db in "${FIXTURE_DBS[@]}"; do
    n=$(awk -F '\t' -v db="$db" '$1 == db' "$EXPECTED/rowcounts.tsv" | wc -l)
    ((n > 0)) || { echo "no tables recorded for $db" >&2; exit 1; }
done
echo "== done: $(find "$DATADIR" -type f | wc -l) files, $(du -sh "$DATADIR" | cut -f1)"
