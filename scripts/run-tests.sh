#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/install-deps.sh
scripts/build.sh "$@"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
ctest --test-dir build --output-on-failure -j2 2>&1 | tee "$log" || status=$?
# CTest lists skipped tests after its summary; repeat the summary as the last line.
grep -E '^[0-9]+% tests passed' "$log" | tail -n 1
exit "$status"
