#!/usr/bin/env bash
# Loads the recovered CREATE statements of a fixture data directory into a live
# server and compares every column with what the original server reported.
#
#   scripts/check-ddl-roundtrip.sh CLI [--fresh | DATADIR EXPECTED_DIR] [--socket SOCK]
#
# --fresh generates a new fixture directory first. Without --socket a private
# server is started. Prints "identical N / M tables" and fails on any difference.
# Exits with 77 (skipped) where no MariaDB server is installed.
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/mariadb-lib.sh
source "$HERE/mariadb-lib.sh"

command -v mariadbd >/dev/null || { echo "mariadbd not installed"; exit 77; }

CLI=${1:?usage: $0 CLI [--fresh | DATADIR EXPECTED_DIR] [--socket SOCK]}
shift
WORK=$(mktemp -d /tmp/ddl-roundtrip.XXXXXX)
cleanup() {
    mdb_cleanup
    rm -rf "$WORK"
}
trap cleanup EXIT

DATADIR="" EXPECTED="" SOCKET=""
while [[ $# -gt 0 ]]; do
    case $1 in
        --fresh)
            "$HERE/make-fixtures.sh" "$WORK/fx" >"$WORK/make-fixtures.log" 2>&1 ||
                { tail -n 30 "$WORK/make-fixtures.log" >&2; exit 1; }
            DATADIR="$WORK/fx/datadir" EXPECTED="$WORK/fx/expected"
            shift ;;
        --socket) SOCKET=$2; shift 2 ;;
        *) DATADIR=$1 EXPECTED=$2; shift 2 ;;
    esac
done
[[ -n $DATADIR && -n $EXPECTED ]] || { echo "no data directory given" >&2; exit 2; }

if [[ -z $SOCKET ]]; then
    mdb_install "$WORK/server"
    mdb_start "$WORK/server" "$WORK/run/mariadbd.sock" "$(mdb_free_port)"
    SOCKET=$MDB_SOCKET
fi
sql() { mariadb --no-defaults -uroot --socket="$SOCKET" --default-character-set=utf8mb4 "$@"; }

"$CLI" ddl "$DATADIR" --log-dir "$WORK" --quiet >"$WORK/ddl.sql"
schemas=$(grep -o '^CREATE SCHEMA `rep_[^`]*`' "$WORK/ddl.sql" | sed 's/^CREATE SCHEMA //' | paste -sd, -)
[[ -n $schemas ]] && sql -e "DROP SCHEMA IF EXISTS ${schemas//,/; DROP SCHEMA IF EXISTS }"
statements=$(grep -c '^Create TABLE' "$WORK/ddl.sql" || true)
sql --batch <"$WORK/ddl.sql"

# Integer display widths are not carried over; everything else must match.
# MariaDB marks its old temporal storage with a comment; the type is the same.
normalize() {
    sed -E -e 's/\b(tinyint|smallint|mediumint|int|bigint)\([0-9]+\)( unsigned)?( zerofill)?/\1\2\3/' \
        -e 's# /\* mariadb-5\.3 \*/##'
}
sql --batch --skip-column-names -e "
    SELECT SUBSTRING(TABLE_SCHEMA, 5), TABLE_NAME, ORDINAL_POSITION, COLUMN_NAME, COLUMN_TYPE,
           IS_NULLABLE, IFNULL(CHARACTER_SET_NAME, 'NULL'), IFNULL(COLLATION_NAME, 'NULL')
    FROM information_schema.COLUMNS WHERE TABLE_SCHEMA LIKE 'rep\\_%'" |
    normalize | LC_ALL=C sort >"$WORK/got.tsv"
normalize <"$EXPECTED/columns.tsv" | LC_ALL=C sort >"$WORK/want.tsv"

# Views are not tables: they are compared elsewhere.
tables_want=$(awk -F'\t' '$3=="BASE TABLE" {print $1 "\t" $2}' "$EXPECTED/tables.tsv" | LC_ALL=C sort -u)
total=$(wc -l <<<"$tables_want")
same=0
while IFS=$'\t' read -r db table; do
    if diff <(awk -F'\t' -v d="$db" -v t="$table" '$1==d && $2==t' "$WORK/want.tsv") \
            <(awk -F'\t' -v d="$db" -v t="$table" '$1==d && $2==t' "$WORK/got.tsv") >"$WORK/diff.txt"; then
        same=$((same + 1))
    else
        echo "differs: $db.$table" >&2
        cat "$WORK/diff.txt" >&2
    fi
done <<<"$tables_want"
echo "statements executed: $statements"
echo "identical $same / $total tables"
[[ $same -eq $total ]]
