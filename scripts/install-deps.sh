#!/usr/bin/env bash
# Installs, with apt, whatever the build and the tests need and is missing.
set -euo pipefail

PACKAGES=(cmake g++ make pkg-config libgtest-dev mariadb-server mariadb-client
          libmariadb-dev zlib1g-dev xz-utils python3 qt6-base-dev clang libclang-rt-14-dev)
missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [[ ${#missing[@]} -gt 0 ]]; then
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # The packaged server must not start as a system service here.
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
