#!/usr/bin/env bash
# Time to a restored server for one table of the benchmark data
# (make-bench-data.sh): the tool's script loaded with a plain `mariadb`
# client, one INSERT per row, --extended-insert and --format csv; the tool's
# save straight into the server, by LOAD DATA LOCAL and (server-insert) by the
# multi-row INSERTs it falls back to when the server has local_infile off; and
# mariadb-dump piped into mariadb from the table's original server. Every load
# goes into the same fresh private server.
#
#   scripts/bench-restore.sh CLI WORKDIR TABLE [ROUNDS]
#
# Prints one line per way: the median seconds of saving, of loading, and of
# both, over ROUNDS (default 1) rounds.
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/mariadb-lib.sh
source "$HERE/mariadb-lib.sh"

CLI=${1:?usage: $0 CLI WORKDIR TABLE [ROUNDS]}
WORK=$(cd "${2:?}" && pwd)
TABLE=${3:?}
ROUNDS=${4:-1}
RUN=$(mktemp -d /tmp/bench-restore.XXXXXX)
cleanup() {
    "$HERE/bench-server.sh" stop "$WORK" >/dev/null 2>&1 || true
    mdb_cleanup
    rm -rf "$RUN"
}
trap cleanup EXIT

mdb_install "$RUN/target"
PORT=$(mdb_free_port)
mdb_start "$RUN/target" "$RUN/run/mariadbd.sock" "$PORT"
"$HERE/bench-server.sh" start "$WORK" >/dev/null
SOURCE_SOCKET=$WORK/run/mariadbd.sock

now() { date +%s.%N; }
fresh() { mdb_sql -e "DROP DATABASE IF EXISTS rep_bench; DROP DATABASE IF EXISTS dumped"; }
declare -A SAVE LOAD COUNT
record() { SAVE[$1]+="$2 "; LOAD[$1]+="$3 "; }

for ((round = 1; round <= ROUNDS; round++)); do
    for form in script extended csv server server-insert dump; do
        fresh
        rm -rf "$RUN/out"
        t0=$(now)
        case $form in
            script | extended | csv)
                opt=()
                [[ $form == extended ]] && opt=(--extended-insert)
                [[ $form == csv ]] && opt=(--format csv)
                "$CLI" save "$WORK/datadir" --script "$RUN/out" "bench.$TABLE" --log-dir "$RUN" \
                    --quiet ${opt[@]+"${opt[@]}"} >/dev/null
                t1=$(now)
                mdb_sql <"$RUN/out/Scriptdata/bench.sql"
                ;;
            server | server-insert)
                [[ $form == server-insert ]] && mdb_sql -e "SET GLOBAL local_infile = 0"
                "$CLI" save "$WORK/datadir" --server 127.0.0.1 --port "$PORT" --user root \
                    "bench.$TABLE" --log-dir "$RUN" --quiet >/dev/null
                mdb_sql -e "SET GLOBAL local_infile = 1"
                t1=$t0
                ;;
            dump)
                mdb_sql -e "CREATE DATABASE dumped"
                t1=$t0
                mariadb-dump --no-defaults -uroot --socket="$SOURCE_SOCKET" --single-transaction \
                    bench "$TABLE" | mdb_sql dumped
                ;;
        esac
        t2=$(now)
        db=rep_bench
        [[ $form == dump ]] && db=dumped
        COUNT[$form]=$(mdb_sql --batch --skip-column-names -e "SELECT COUNT(*) FROM $db.\`$TABLE\`")
        record "$form" "$(echo "$t1 - $t0" | bc)" "$(echo "$t2 - $t1" | bc)"
    done
done

median() { tr ' ' '\n' | grep . | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
printf '%-13s %9s %9s %9s %9s   (%s, median of %d)\n' way save load total rows "$TABLE" "$ROUNDS"
for form in script extended csv server server-insert dump; do
    s=$(echo "${SAVE[$form]}" | median)
    l=$(echo "${LOAD[$form]}" | median)
    printf '%-13s %9.2f %9.2f %9.2f %9s\n' "$form" "$s" "$l" "$(echo "$s + $l" | bc)" "${COUNT[$form]}"
done
