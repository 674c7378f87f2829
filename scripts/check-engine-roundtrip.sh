#!/usr/bin/env bash
# Round trip of the engine fixture: the tables of scripts/make-engine-fixtures.sh
# saved by the tool (as a script, and straight into a server), loaded into a
# private MariaDB that still holds the originals, and compared row by row.
#
#   scripts/check-engine-roundtrip.sh CLI
#
# Prints "script: identical N / M tables" and "server: identical N / M tables";
# fails on any difference. Exits with 77 (skipped) without a MariaDB server.
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/mariadb-lib.sh
source "$HERE/mariadb-lib.sh"
command -v mariadbd >/dev/null || { echo "mariadbd not installed"; exit 77; }

CLI=$(cd "$(dirname "${1:?usage: $0 CLI}")" && pwd)/$(basename "$1")
WORK=$(mktemp -d /tmp/engine-roundtrip.XXXXXX)
cleanup() {
    mdb_cleanup
    rm -rf "$WORK"
}
trap cleanup EXIT

KEEP="$WORK/orig" "$HERE/make-engine-fixtures.sh" "$WORK/fixture.tar.xz" >"$WORK/make.log" 2>&1 ||
    { tail -n 30 "$WORK/make.log" >&2; exit 1; }
tar -C "$WORK" -xJf "$WORK/fixture.tar.xz"
DATADIR="$WORK/engine-tables/datadir"

# The original server's data directory, with the originals in `eng`.
mdb_start "$WORK/orig" "$WORK/run/mariadbd.sock" "$(mdb_free_port)"
sql() { mdb_sql --default-character-set=utf8mb4 "$@"; }
PORT=$(sql -N -e "SELECT @@port")

tables=$(sql -N -e "SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA='eng'
                    AND ENGINE NOT IN ('Aria') ORDER BY TABLE_NAME")
compare() {
    local mode=$1 total=0 same=0
    for t in $tables; do
        total=$((total + 1))
        cols=$(sql -N -e "SELECT GROUP_CONCAT(IF(DATA_TYPE IN ('binary','varbinary','tinyblob','blob',
                              'mediumblob','longblob','bit'), CONCAT('HEX(\`', COLUMN_NAME, '\`)'),
                              CONCAT('\`', COLUMN_NAME, '\`')) ORDER BY ORDINAL_POSITION)
                          FROM information_schema.COLUMNS WHERE TABLE_SCHEMA='eng' AND TABLE_NAME='$t'")
        order=$(seq -s, 1 "$(awk -F, '{print NF}' <<<"$cols")")
        sql -N -e "SELECT $cols FROM eng.\`$t\` ORDER BY $order" >"$WORK/a.tsv"
        if ! sql -N -e "SELECT $cols FROM rep_eng.\`$t\` ORDER BY $order" >"$WORK/b.tsv" 2>"$WORK/err"; then
            echo "$mode: missing: $t ($(cat "$WORK/err"))" >&2
            continue
        fi
        if cmp -s "$WORK/a.tsv" "$WORK/b.tsv"; then
            same=$((same + 1))
        else
            echo "$mode: differs: $t ($(wc -l <"$WORK/a.tsv") original rows, $(wc -l <"$WORK/b.tsv") recovered)" >&2
            diff "$WORK/a.tsv" "$WORK/b.tsv" | head -n 4 >&2 || true
        fi
    done
    echo "$mode: identical $same / $total tables"
    [[ $same -eq $total ]]
}

status=0
"$CLI" save "$DATADIR" --script "$WORK/out" --log-dir "$WORK" --quiet eng >"$WORK/save.txt" || true
sql --batch <"$WORK/out/Scriptdata/eng.sql" || { echo "loading the script failed" >&2; exit 1; }
compare script || status=1

sql -e "DROP SCHEMA rep_eng"
# Over TCP with a password, as a DBA on another machine would connect.
sql -e "CREATE USER 'recover'@'%' IDENTIFIED BY 'rt-pass'; GRANT ALL ON *.* TO 'recover'@'%'"
printf 'rt-pass\n' >"$WORK/password"
"$CLI" save "$DATADIR" --server 127.0.0.1 --port "$PORT" --user recover \
    --password-file "$WORK/password" --log-dir "$WORK" --quiet eng \
    >"$WORK/save2.txt" || true
compare server || status=1
grep -v "complete$" "$WORK/save2.txt" || true
exit $status
