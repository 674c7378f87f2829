#!/usr/bin/env bash
# Saves a committed fixture database (a tarball of a data directory and the
# rows its server reported) with the tool, loads the result into a private
# MariaDB, and compares every table with the rows the original server gave.
#
#   scripts/check-fixture-roundtrip.sh CLI FIXTURE.tar.xz DATA_SUBDIR DB [--via-server]
#                                      [--form digests | --form hex-by-id]
#                                      [--save-option OPTION]...
#
# FIXTURE.tar.xz unpacks to one folder holding DATA_SUBDIR (the data
# directory, or the one database folder) and expected/<table>.tsv in
# `mariadb --batch` escaping, in one of two forms: "digests" (the default:
# rows sorted bytewise, binary columns as HEX(), BLOB/TEXT as
# LENGTH:SHA2-256) or "hex-by-id" (rows ordered by `id`, binary, BLOB and BIT
# columns as HEX()). --save-option passes an option to the save (say
# --extended-insert). Scripts load with a plain `mariadb` client, no options.
# Prints "identical N / M tables"; exits 77 without mariadbd.
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/mariadb-lib.sh
source "$HERE/mariadb-lib.sh"
command -v mariadbd >/dev/null || { echo "mariadbd not installed"; exit 77; }

CLI=${1:?usage: $0 CLI FIXTURE.tar.xz DATA_SUBDIR DB [--via-server]}
FIXTURE=${2:?}
SUBDIR=${3:?}
DB=${4:?}
VIA_SERVER=0 FORM=digests
SAVE_OPTIONS=()
shift 4
while [[ $# -gt 0 ]]; do
    case $1 in
        --via-server) VIA_SERVER=1; shift ;;
        --form) FORM=$2; shift 2 ;;
        --save-option) SAVE_OPTIONS+=("$2"); shift 2 ;;
        *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done
WORK=$(mktemp -d /tmp/fixture-roundtrip.XXXXXX)
cleanup() {
    mdb_cleanup
    rm -rf "$WORK"
}
trap cleanup EXIT

mkdir -p "$WORK/fx"
tar -xJf "$FIXTURE" -C "$WORK/fx"
ROOT=$(find "$WORK/fx" -mindepth 1 -maxdepth 1 -type d | head -n 1)
DATADIR="$ROOT/$SUBDIR"
EXPECTED="$ROOT/expected"

mdb_install "$WORK/server"
PORT=$(mdb_free_port)
mdb_start "$WORK/server" "$WORK/run/mariadbd.sock" "$PORT"
sql() { mdb_sql --default-character-set=utf8mb4 "$@"; }

if [[ $VIA_SERVER -eq 1 ]]; then
    "$CLI" save "$DATADIR" --server 127.0.0.1 --port "$PORT" --user root \
        --log-dir "$WORK" --quiet ${SAVE_OPTIONS[@]+"${SAVE_OPTIONS[@]}"} >"$WORK/save.txt" || true
else
    "$CLI" save "$DATADIR" --script "$WORK/out" --log-dir "$WORK" --quiet \
        ${SAVE_OPTIONS[@]+"${SAVE_OPTIONS[@]}"} >"$WORK/save.txt" || true
    for script in "$WORK"/out/Scriptdata/*.sql; do
        sql --batch <"$script"
    done
fi

query() { sql --batch --skip-column-names -e "$1"; }
# Column lists are joined here rather than with GROUP_CONCAT(... ORDER BY ...) over
# information_schema, which crashed a MariaDB 10.11 test server once under load.
total=0 same=0
for want in "$EXPECTED"/*.tsv; do
    t=$(basename "$want" .tsv)
    [[ $t == tables ]] && continue
    total=$((total + 1))
    if [[ $FORM == hex-by-id ]]; then
        cols=$(query "SELECT CASE WHEN DATA_TYPE IN ('binary','varbinary','tinyblob','blob',
                                                   'mediumblob','longblob','bit')
                                THEN CONCAT('HEX(\`', COLUMN_NAME, '\`)')
                                ELSE CONCAT('\`', COLUMN_NAME, '\`') END
                      FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = 'rep_$DB'
                      AND TABLE_NAME = '$t' ORDER BY ORDINAL_POSITION" | paste -sd,)
    else
        cols=$(query "SELECT CASE
                      WHEN DATA_TYPE LIKE '%blob' OR DATA_TYPE LIKE '%text' THEN
                        CONCAT('IF(\`', COLUMN_NAME, '\` IS NULL, NULL, CONCAT(LENGTH(\`',
                               COLUMN_NAME, '\`), '':'', SHA2(\`', COLUMN_NAME, '\`, 256)))')
                      WHEN DATA_TYPE IN ('binary', 'varbinary') THEN
                        CONCAT('HEX(\`', COLUMN_NAME, '\`)')
                      ELSE CONCAT('\`', COLUMN_NAME, '\`') END
                  FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = 'rep_$DB'
                  AND TABLE_NAME = '$t' ORDER BY ORDINAL_POSITION" | paste -sd,)
    fi
    if [[ -z $cols || $cols == NULL ]]; then
        echo "DIFFERENT $t: not restored"
        continue
    fi
    if [[ $FORM == hex-by-id ]]; then
        query "SELECT $cols FROM \`rep_$DB\`.\`$t\` ORDER BY id" >"$WORK/got.tsv"
    else
        query "SELECT $cols FROM \`rep_$DB\`.\`$t\`" | LC_ALL=C sort >"$WORK/got.tsv"
    fi
    if cmp -s "$want" "$WORK/got.tsv"; then
        same=$((same + 1))
    else
        echo "DIFFERENT $t:"
        diff "$want" "$WORK/got.tsv" | head -n 6
    fi
done
echo "identical $same / $total tables"
[[ $same -eq $total ]]
