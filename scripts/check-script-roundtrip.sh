#!/usr/bin/env bash
# Saves a fixture data directory as SQL scripts, loads them into a live server
# beside the original server's own dump, and compares every table row by row.
#
#   scripts/check-script-roundtrip.sh CLI [--fresh | DATADIR EXPECTED_DIR] [--engines "MyISAM InnoDB"]
#                                     [--exclude "DB ..."] [--no-ibdata] [--via-server]
#
# --no-ibdata hides ibdata1 from the tool, so that only .frm + .ibd are used.
# --via-server saves straight into the server (save --server) instead of a script.
#
# Prints "identical N / M tables" and fails on any difference. Exits with 77
# (skipped) where no MariaDB server is installed.
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/mariadb-lib.sh
source "$HERE/mariadb-lib.sh"
command -v mariadbd >/dev/null || { echo "mariadbd not installed"; exit 77; }

CLI=${1:?usage: $0 CLI [--fresh | DATADIR EXPECTED_DIR] [--engines LIST]}
shift
WORK=$(mktemp -d /tmp/script-roundtrip.XXXXXX)
cleanup() {
    mdb_cleanup
    rm -rf "$WORK"
}
trap cleanup EXIT

DATADIR="" EXPECTED="" ENGINES="MyISAM" EXCLUDE="" NO_IBDATA=0 VIA_SERVER=0
while [[ $# -gt 0 ]]; do
    case $1 in
        --fresh)
            "$HERE/make-fixtures.sh" "$WORK/fx" >"$WORK/make-fixtures.log" 2>&1 ||
                { tail -n 30 "$WORK/make-fixtures.log" >&2; exit 1; }
            DATADIR="$WORK/fx/datadir" EXPECTED="$WORK/fx/expected"
            shift ;;
        --engines) ENGINES=$2; shift 2 ;;
        --exclude) EXCLUDE=$2; shift 2 ;;  # databases left out, e.g. "inner"
        --no-ibdata) NO_IBDATA=1; shift ;;
        --via-server) VIA_SERVER=1; shift ;;
        *) DATADIR=$1 EXPECTED=$2; shift 2 ;;
    esac
done
[[ -n $DATADIR && -n $EXPECTED ]] || { echo "no data directory given" >&2; exit 2; }

mdb_install "$WORK/server"
PORT=$(mdb_free_port)
mdb_start "$WORK/server" "$WORK/run/mariadbd.sock" "$PORT"
sql() { mdb_sql --default-character-set=utf8mb4 "$@"; }

# The original content, as the original server dumped it, under orig_<db>.
for dump in "$EXPECTED"/dump/*.sql; do
    db=$(basename "$dump" .sql)
    sql -e "CREATE SCHEMA \`orig_$db\`"
    sql --batch --comments "orig_$db" <"$dump"
done

if [[ $NO_IBDATA -eq 1 && -f $DATADIR/ibdata1 ]]; then
    # A copy without the system tablespace (hard links: nothing is written to the source).
    cp -al "$DATADIR" "$WORK/no-ibdata"
    rm -f "$WORK/no-ibdata/ibdata1"
    DATADIR="$WORK/no-ibdata"
fi
if [[ $VIA_SERVER -eq 1 ]]; then
    # Over TCP with a password, as a DBA on another machine would connect.
    sql -e "CREATE USER 'recover'@'%' IDENTIFIED BY 'se''cr\\\\et'; GRANT ALL ON *.* TO 'recover'@'%'"
    printf '%s\n' "se'cr\\et" >"$WORK/password"
    "$CLI" save "$DATADIR" --server 127.0.0.1 --port "$PORT" --user recover \
        --password-file "$WORK/password" --log-dir "$WORK" --quiet >"$WORK/save.txt" || true
    if grep -q "se'cr" "$WORK"/VostrelMySQLDBRec_log_*.txt 2>/dev/null ||
            iconv -f UTF-16LE -t UTF-8 "$WORK"/VostrelMySQLDBRec_log_*.txt | grep -q "se'cr"; then
        echo "the password appears in the log" >&2
        exit 1
    fi
else
    "$CLI" save "$DATADIR" --script "$WORK/out" --log-dir "$WORK" --quiet >"$WORK/save.txt" || true
    for script in "$WORK"/out/Scriptdata/*.sql; do
        sql --batch --comments <"$script" || { echo "loading $(basename "$script") failed" >&2; exit 1; }
    done
fi

# Every column as text; bytes as hex so that nothing is lost in the comparison.
select_list() {
    sql --batch --skip-column-names -e "
        SELECT GROUP_CONCAT(
                 CASE WHEN DATA_TYPE IN ('binary','varbinary','tinyblob','blob','mediumblob','longblob',
                                         'bit','geometry','point','linestring','polygon','multipoint',
                                         'multilinestring','multipolygon','geometrycollection')
                      THEN CONCAT('HEX(\`', COLUMN_NAME, '\`)')
                      ELSE CONCAT('\`', COLUMN_NAME, '\`') END
                 ORDER BY ORDINAL_POSITION SEPARATOR ',')
        FROM information_schema.COLUMNS WHERE TABLE_SCHEMA='orig_$1' AND TABLE_NAME='$2'"
}

total=0 same=0
while IFS=$'\t' read -r db table kind engine _; do
    [[ $kind == "BASE TABLE" ]] || continue
    [[ " $ENGINES " == *" $engine "* ]] || continue
    [[ " $EXCLUDE " == *" $db "* ]] && continue
    total=$((total + 1))
    cols=$(select_list "$db" "$table")
    n=$(awk -F, '{print NF}' <<<"$cols")
    order=$(seq -s, 1 "$n")
    sql --batch --skip-column-names -e "SELECT $cols FROM \`orig_$db\`.\`$table\` ORDER BY $order" >"$WORK/a.tsv"
    if ! sql --batch --skip-column-names -e "SELECT $cols FROM \`rep_$db\`.\`$table\` ORDER BY $order" \
            >"$WORK/b.tsv" 2>"$WORK/err.txt"; then
        echo "missing: $db.$table ($(cat "$WORK/err.txt"))" >&2
        continue
    fi
    if cmp -s "$WORK/a.tsv" "$WORK/b.tsv"; then
        same=$((same + 1))
    else
        echo "differs: $db.$table ($(wc -l <"$WORK/a.tsv") original rows, $(wc -l <"$WORK/b.tsv") recovered)" >&2
        diff "$WORK/a.tsv" "$WORK/b.tsv" | head -n 6 >&2 || true
    fi
done <"$EXPECTED/tables.tsv"
# Views: the same rows as the original view, read through the recovered tables.
vtotal=0 vsame=0
while IFS=$'\t' read -r db view kind _; do
    [[ $kind == "VIEW" ]] || continue
    [[ " $EXCLUDE " == *" $db "* ]] && continue
    vtotal=$((vtotal + 1))
    defn=$(sql --batch --skip-column-names -e "SELECT VIEW_DEFINITION FROM information_schema.VIEWS
        WHERE TABLE_SCHEMA='rep_$db' AND TABLE_NAME='$view'")
    if [[ -z $defn || $defn == *"\`$db\`."* ]]; then
        echo "view differs: $db.$view does not read the recovered schema: $defn" >&2
        continue
    fi
    sql --batch --skip-column-names -e "SELECT * FROM \`orig_$db\`.\`$view\` ORDER BY 1,2,3" >"$WORK/a.tsv"
    sql --batch --skip-column-names -e "SELECT * FROM \`rep_$db\`.\`$view\` ORDER BY 1,2,3" >"$WORK/b.tsv" || true
    if cmp -s "$WORK/a.tsv" "$WORK/b.tsv" && [[ -s $WORK/a.tsv ]]; then
        vsame=$((vsame + 1))
    else
        echo "view differs: $db.$view" >&2
    fi
done <"$EXPECTED/tables.tsv"

# Triggers: same event, timing, table and body as the original.
trigger_list() {
    sql --batch --skip-column-names -e "SELECT TRIGGER_NAME, EVENT_MANIPULATION, ACTION_TIMING,
            EVENT_OBJECT_TABLE, MD5(ACTION_STATEMENT) FROM information_schema.TRIGGERS
        WHERE TRIGGER_SCHEMA='$1' ORDER BY TRIGGER_NAME"
}
ttotal=0 tsame=0
for dump in "$EXPECTED"/dump/*.sql; do
    db=$(basename "$dump" .sql)
    [[ " $EXCLUDE " == *" $db "* ]] && continue
    while IFS=$'\t' read -r name rest; do
        [[ -n $name ]] || continue
        ttotal=$((ttotal + 1))
        if trigger_list "rep_$db" | grep -qxF "$name"$'\t'"$rest"; then
            tsame=$((tsame + 1))
        else
            echo "trigger differs: $db.$name" >&2
        fi
    done < <(trigger_list "orig_$db")
done

echo "engines: $ENGINES"
echo "identical $same / $total tables"
echo "identical $vsame / $vtotal views"
echo "identical $tsame / $ttotal triggers"
[[ $total -gt 0 && $same -eq $total && $vsame -eq $vtotal && $tsame -eq $ttotal ]]
