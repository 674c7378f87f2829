#!/usr/bin/env bash
# Starts the desktop application on a virtual display, lets it scan the shipped
# sample and show a table, and saves a screenshot of the screen.
#
#   scripts/gui-screenshot.sh [OUTPUT.png] [DB.TABLE]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
out=${1:-gui-screenshot.png}
table=${2:-shop.customers}
for p in xvfb imagemagick; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$p" >/dev/null
done
[[ -x build/bin/vostrel-recover-gui ]] || scripts/build.sh
work=$(mktemp -d /tmp/gui-shot.XXXXXX)
tar -xJf tests/fixtures/sample-datadir.tar.xz -C "$work"
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1400x900x24 >/dev/null 2>&1 &
xvfb=$!
cleanup() {
    kill "${app:-}" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
sleep 1
# Settings of its own: a scripted run neither reads nor leaves a user's layout.
XDG_CONFIG_HOME="$work/config" DISPLAY=$display build/bin/vostrel-recover-gui --open "$work/sample-datadir" --show "$table" 2>"$work/gui.log" &
app=$!
sleep 7
DISPLAY=$display import -window root "$out"
echo "screenshot: $out"
