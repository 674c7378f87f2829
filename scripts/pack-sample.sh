#!/usr/bin/env bash
# Regenerate the committed test fixture:
#   tests/fixtures/sample-datadir.tar.xz  (top folder sample-datadir/)
#   tests/fixtures/expected/
#
#   scripts/pack-sample.sh
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO=$(cd "$HERE/.." && pwd)
FIXTURES="$REPO/tests/fixtures"

TMP=$(mktemp -d /tmp/pack-sample.XXXXXX)
trap 'rm -rf "$TMP"' EXIT

"$HERE/make-fixtures.sh" "$TMP/out"
python3 "$HERE/verify-fixtures.py" "$TMP/out/datadir" "$TMP/out/expected"

mv "$TMP/out/datadir" "$TMP/sample-datadir"
mkdir -p "$FIXTURES"
# Fixed owner, order and times so only real content changes show up.
tar -C "$TMP" --sort=name --owner=0 --group=0 --numeric-owner \
    --mtime=@0 -cf - sample-datadir |
    xz -9 -T1 >"$TMP/sample-datadir.tar.xz"
mv "$TMP/sample-datadir.tar.xz" "$FIXTURES/sample-datadir.tar.xz"

rm -rf "$FIXTURES/expected"
cp -r "$TMP/out/expected" "$FIXTURES/expected"

echo "wrote $FIXTURES/sample-datadir.tar.xz ($(stat -c %s "$FIXTURES/sample-datadir.tar.xz") bytes)"
echo "wrote $FIXTURES/expected/ ($(du -sh "$FIXTURES/expected" | cut -f1))"
