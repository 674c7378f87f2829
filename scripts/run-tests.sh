#!/usr/bin/env bash
# Installs what is missing, builds, starts a private MariaDB for the tests that
# need a live server, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/install-deps.sh
scripts/build.sh "$@"

# shellcheck source=scripts/mariadb-lib.sh
source scripts/mariadb-lib.sh
log=$(mktemp)
server=$(mktemp -d /tmp/vostrel-test-server.XXXXXX)
cleanup() {
    mdb_cleanup
    rm -rf "$server" "$log"
}
trap cleanup EXIT
if command -v mariadbd >/dev/null; then
    mdb_install "$server/data"
    port=$(mdb_free_port)
    mdb_start "$server/data" "$server/run/mariadbd.sock" "$port"
    export VOSTREL_TEST_MYSQL_PORT=$port
    export VOSTREL_TEST_MYSQL_SOCKET=$MDB_SOCKET
fi

status=0
ctest --test-dir build --output-on-failure -j2 2>&1 | tee "$log" || status=$?
# CTest lists skipped tests after its summary; repeat the summary as the last line.
grep -E '^[0-9]+% tests passed' "$log" | tail -n 1
exit "$status"
