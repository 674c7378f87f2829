# shellcheck shell=bash
# Helpers to run a private, throw-away MariaDB server (never the system one).
# Source this file; callers are expected to use `set -euo pipefail`.
#
#   mdb_install DATADIR
#   mdb_start DATADIR SOCKET PORT      (sets MDB_PID, MDB_SOCKET, MDB_LOG)
#   mdb_sql [mariadb client args...]   (client bound to MDB_SOCKET as root)
#   mdb_stop                           (slow shutdown, waits for exit)
#   mdb_cleanup                        (for traps: stop whatever is still running)
#   mdb_free_port

# Options shared by bootstrap and every start. They make the InnoDB files look
# like MySQL 5.x ones (plain crc32 pages, COMPACT rows, 16k pages, undo logs in
# ibdata1) and keep the data directory small.
MDB_SERVER_OPTS=(
    --innodb-checksum-algorithm=crc32
    --innodb-default-row-format=compact
    --innodb-page-size=16k
    --innodb-undo-tablespaces=0
    --innodb-log-file-size=8M
    --innodb-data-file-path=ibdata1:12M:autoextend
    --innodb-autoextend-increment=1
    --innodb-buffer-pool-size=64M
    --skip-innodb-buffer-pool-dump-at-shutdown
    --skip-innodb-buffer-pool-load-at-startup
    --default-time-zone=+00:00
    --character-set-server=latin1
    --collation-server=latin1_swedish_ci
    --skip-log-bin
)

MDB_PID=""
MDB_SOCKET=""
MDB_LOG=""
MDB_START_TIMEOUT=${MDB_START_TIMEOUT:-60}
MDB_STOP_TIMEOUT=${MDB_STOP_TIMEOUT:-180}

mdb_die() {
    echo "mariadb-lib: $*" >&2
    return 1
}

mdb_install() {
    local datadir=$1
    [[ -n $datadir ]] || mdb_die "mdb_install: DATADIR missing" || return 1
    mkdir -p "$datadir"
    datadir=$(cd "$datadir" && pwd)
    local log="$datadir/../install-db.log"
    # A temporary folder of its own: servers bootstrapping side by side in one
    # /tmp were seen to lose each other's temporary tables.
    local tmp="$datadir.tmp"
    mkdir -p "$tmp"
    if ! mariadb-install-db --no-defaults --user=root --datadir="$datadir" --tmpdir="$tmp" \
            --auth-root-authentication-method=normal --skip-test-db \
            "${MDB_SERVER_OPTS[@]}" >"$log" 2>&1; then
        tail -n 40 "$log" >&2
        mdb_die "mariadb-install-db failed (log: $log)"
        return 1
    fi
}

mdb_start() {
    local datadir=$1 socket=$2 port=$3
    [[ -n $datadir && -n $socket && -n $port ]] ||
        mdb_die "usage: mdb_start DATADIR SOCKET PORT" || return 1
    datadir=$(cd "$datadir" && pwd)
    local rundir
    rundir=$(dirname "$socket")
    mkdir -p "$rundir"
    MDB_SOCKET=$socket
    MDB_LOG="$rundir/mariadbd.err"
    : >"$MDB_LOG"
    mkdir -p "$datadir.tmp"
    mariadbd --no-defaults --user=root --datadir="$datadir" --tmpdir="$datadir.tmp" \
        --socket="$socket" --port="$port" --bind-address=127.0.0.1 \
        --pid-file="$rundir/mariadbd.pid" --log-error="$MDB_LOG" \
        "${MDB_SERVER_OPTS[@]}" </dev/null >/dev/null 2>&1 &
    MDB_PID=$!
    local deadline=$((SECONDS + MDB_START_TIMEOUT))
    until mariadb-admin --no-defaults -uroot --socket="$socket" \
            --connect-timeout=2 ping >/dev/null 2>&1; do
        if ! kill -0 "$MDB_PID" 2>/dev/null; then
            tail -n 40 "$MDB_LOG" >&2
            MDB_PID=""
            mdb_die "mariadbd exited during startup (log: $MDB_LOG)"
            return 1
        fi
        if ((SECONDS >= deadline)); then
            tail -n 40 "$MDB_LOG" >&2
            mdb_die "mariadbd did not answer within ${MDB_START_TIMEOUT}s (log: $MDB_LOG)"
            return 1
        fi
        sleep 0.2
    done
}

mdb_sql() {
    mariadb --no-defaults -uroot --socket="$MDB_SOCKET" "$@"
}

mdb_wait_exit() {
    local pid=$1 timeout=$2
    local deadline=$((SECONDS + timeout))
    while kill -0 "$pid" 2>/dev/null; do
        ((SECONDS < deadline)) || return 1
        sleep 0.2
    done
    wait "$pid" 2>/dev/null || true
}

# Slow shutdown: purge and change-buffer merge finish, so the files on disk
# are complete and no redo log is needed to read them.
mdb_stop() {
    [[ -n $MDB_PID ]] || return 0
    local pid=$MDB_PID
    if kill -0 "$pid" 2>/dev/null; then
        mdb_sql -e "SET GLOBAL innodb_fast_shutdown=0" ||
            mdb_die "could not request a slow shutdown" || true
        mariadb-admin --no-defaults -uroot --socket="$MDB_SOCKET" shutdown ||
            kill -TERM "$pid" 2>/dev/null || true
        if ! mdb_wait_exit "$pid" "$MDB_STOP_TIMEOUT"; then
            tail -n 20 "$MDB_LOG" >&2
            kill -KILL "$pid" 2>/dev/null || true
            MDB_PID=""
            mdb_die "mariadbd (pid $pid) did not stop within ${MDB_STOP_TIMEOUT}s"
            return 1
        fi
    fi
    MDB_PID=""
}

# Trap handler: never leave a server behind, but do not wait for a slow
# shutdown when we are failing anyway.
mdb_cleanup() {
    [[ -n $MDB_PID ]] || return 0
    if ! kill -0 "$MDB_PID" 2>/dev/null; then
        # It died under us: what it said last is the first thing to read.
        echo "mariadb-lib: mariadbd (pid $MDB_PID) is no longer running; end of $MDB_LOG:" >&2
        tail -n 40 "$MDB_LOG" >&2 || true
    fi
    if kill -0 "$MDB_PID" 2>/dev/null; then
        kill -TERM "$MDB_PID" 2>/dev/null || true
        mdb_wait_exit "$MDB_PID" 60 || kill -KILL "$MDB_PID" 2>/dev/null || true
    fi
    MDB_PID=""
}

mdb_free_port() {
    python3 -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])
s.close()'
}
