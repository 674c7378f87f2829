#!/usr/bin/env bash
# Builds the whole suite with AddressSanitizer + UndefinedBehaviorSanitizer
# (build-asan, Debug) and runs it, with a private MariaDB for the tests that
# need a live server. Left out: fuzz_short (its harnesses carry the same
# sanitizers in their own build) and the *_fresh round trips, which spend their
# minutes generating fixtures with a server and then drive the command line
# as the normal run does; the in-process save and server tests still run here.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/install-deps.sh
cmake -S . -B build-asan -DVOSTREL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-asan -j"$(nproc)" >/dev/null

# shellcheck source=scripts/mariadb-lib.sh
source scripts/mariadb-lib.sh
server=$(mktemp -d /tmp/vostrel-asan-server.XXXXXX)
cleanup() {
    mdb_cleanup
    rm -rf "$server"
}
trap cleanup EXIT
if command -v mariadbd >/dev/null; then
    mdb_install "$server/data"
    port=$(mdb_free_port)
    mdb_start "$server/data" "$server/run/mariadbd.sock" "$port"
    export VOSTREL_TEST_MYSQL_PORT=$port
    export VOSTREL_TEST_MYSQL_SOCKET=$MDB_SOCKET
fi

# Any report fails the test that caused it.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir build-asan --output-on-failure -j2 -E '^(fuzz_short|.*_fresh)$'
