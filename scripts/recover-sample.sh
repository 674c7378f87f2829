#!/usr/bin/env bash
# Installs what is missing, builds, and recovers the sample data directory
# shipped in tests/fixtures into ./sample-output.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/install-deps.sh
scripts/build.sh
rm -rf sample-output && mkdir -p sample-output
tar -xJf tests/fixtures/sample-datadir.tar.xz -C sample-output
build/bin/vostrel-recover scan sample-output/sample-datadir --log-dir sample-output
build/bin/vostrel-recover ddl sample-output/sample-datadir --log-dir sample-output \
    >sample-output/recovered-ddl.sql
echo "recovered table definitions: sample-output/recovered-ddl.sql"
