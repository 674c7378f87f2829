#!/usr/bin/env bash
# Saves the sample data directory as scripts in every form (one INSERT per
# row, --extended-insert, --format csv), loads each into the same private
# MariaDB with a plain client, and compares the rows the server then holds,
# table by table, with those of the first form. Every type the sample has
# (BLOBs, NULLs, binary and character data, BIT, GEOMETRY) goes through.
#
#   scripts/check-script-forms.sh CLI
#
# Prints "same N / M databases"; exits 77 without mariadbd.
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/mariadb-lib.sh
source "$HERE/mariadb-lib.sh"
command -v mariadbd >/dev/null || { echo "mariadbd not installed"; exit 77; }

CLI=${1:?usage: $0 CLI}
WORK=$(mktemp -d /tmp/script-forms.XXXXXX)
cleanup() {
    mdb_cleanup
    rm -rf "$WORK"
}
trap cleanup EXIT

mkdir -p "$WORK/fx"
tar -xJf "$HERE/../tests/fixtures/sample-datadir.tar.xz" -C "$WORK/fx"
DATADIR=$WORK/fx/sample-datadir
mdb_install "$WORK/server"
mdb_start "$WORK/server" "$WORK/run/mariadbd.sock" "$(mdb_free_port)"

dbs=()
for form in plain extended csv; do
    opt=()
    [[ $form == extended ]] && opt=(--extended-insert)
    [[ $form == csv ]] && opt=(--format csv)
    "$CLI" save "$DATADIR" --script "$WORK/$form" --log-dir "$WORK" --quiet \
        ${opt[@]+"${opt[@]}"} >/dev/null || true
    mapfile -t dbs < <(mdb_sql --batch --skip-column-names -e "SHOW DATABASES LIKE 'rep\\_%'")
    for db in "${dbs[@]}"; do mdb_sql -e "DROP DATABASE \`$db\`"; done
    for script in "$WORK/$form"/Scriptdata/*.sql; do
        mdb_sql --default-character-set=utf8mb4 <"$script"
    done
    mapfile -t dbs < <(mdb_sql --batch --skip-column-names -e "SHOW DATABASES LIKE 'rep\\_%'")
    for db in "${dbs[@]}"; do
        mariadb-dump --no-defaults -uroot --socket="$MDB_SOCKET" --no-create-info \
            --skip-extended-insert --hex-blob --skip-dump-date "$db" |
            grep '^INSERT' | LC_ALL=C sort >"$WORK/$form.$db.rows"
    done
done

total=0 same=0
for db in "${dbs[@]}"; do
    total=$((total + 1))
    rows=$(wc -l <"$WORK/plain.$db.rows")
    if cmp -s "$WORK/plain.$db.rows" "$WORK/extended.$db.rows" &&
        cmp -s "$WORK/plain.$db.rows" "$WORK/csv.$db.rows" && [[ $rows -gt 0 ]]; then
        same=$((same + 1))
    else
        echo "DIFFERENT $db ($rows rows):"
        diff "$WORK/plain.$db.rows" "$WORK/extended.$db.rows" | head -n 4 || true
        diff "$WORK/plain.$db.rows" "$WORK/csv.$db.rows" | head -n 4 || true
    fi
done
echo "same $same / $total databases"
[[ $total -gt 0 && $same -eq $total ]]
