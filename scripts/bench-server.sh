#!/usr/bin/env bash
# Starts or stops the benchmark's MariaDB on WORKDIR/server (built by
# make-bench-data.sh), so that mariadb-dump can be timed beside the tool.
#
#   scripts/bench-server.sh start WORKDIR   (socket: WORKDIR/run/mariadbd.sock)
#   scripts/bench-server.sh stop WORKDIR
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/mariadb-lib.sh
source "$HERE/mariadb-lib.sh"

ACTION=${1:?usage: $0 start|stop WORKDIR}
WORK=${2:?usage: $0 start|stop WORKDIR}
SOCKET=$WORK/run/mariadbd.sock
case $ACTION in
    start)
        # The server outlives this script; stop ends it.
        mdb_start "$WORK/server" "$SOCKET" "$(mdb_free_port)"
        ;;
    stop)
        pid=$(cat "$WORK/run/mariadbd.pid" 2>/dev/null || true)
        mariadb-admin --no-defaults -uroot --socket="$SOCKET" shutdown 2>/dev/null ||
            { [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null; } || true
        if [ -n "$pid" ]; then mdb_wait_exit "$pid" "$MDB_STOP_TIMEOUT" || kill -KILL "$pid" 2>/dev/null || true; fi
        ;;
    *)
        echo "usage: $0 start|stop WORKDIR" >&2
        exit 2
        ;;
esac
