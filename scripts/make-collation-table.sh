#!/usr/bin/env bash
# Write the collation lookup table read by the recovery tool.
#
#   scripts/make-collation-table.sh OUTFILE [SOCKET]
#
# With SOCKET, ask that running server (as root); otherwise start a private
# throw-away server just for this.
#
# Records, back to back, no header; every integer is 32-bit little-endian:
#   id, mbminlen, mbmaxlen, len, charset name, len, collation name
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/mariadb-lib.sh
source "$HERE/mariadb-lib.sh"

if [[ $# -lt 1 || $# -gt 2 ]]; then
    echo "usage: $0 OUTFILE [SOCKET]" >&2
    exit 2
fi
OUTFILE=$1
SOCKET=${2:-}

RUN=$(mktemp -d /tmp/mdb-collations.XXXXXX)
cleanup() {
    mdb_cleanup
    rm -rf "$RUN"
}
trap cleanup EXIT

if [[ -n $SOCKET ]]; then
    MDB_SOCKET=$SOCKET
else
    mdb_install "$RUN/datadir"
    mdb_start "$RUN/datadir" "$RUN/mariadbd.sock" "$(mdb_free_port)"
fi

mdb_sql --batch --skip-column-names -e "
    SELECT c.ID, c.CHARACTER_SET_NAME, c.COLLATION_NAME, s.MAXLEN
    FROM information_schema.COLLATIONS c
    JOIN information_schema.CHARACTER_SETS s USING (CHARACTER_SET_NAME)
    WHERE c.ID IS NOT NULL
    ORDER BY c.ID" >"$RUN/collations.tsv"

if [[ -z $SOCKET ]]; then
    mdb_stop
fi

python3 - "$RUN/collations.tsv" "$OUTFILE.tmp" <<'EOF'
import struct
import sys

# MAXLEN is reported by the server; the minimum is not, and only the
# fixed-width UCS/UTF-16/UTF-32 sets use more than one byte.
MBMINLEN = {"ucs2": 2, "utf16": 2, "utf16le": 2, "utf32": 4}

src, dst = sys.argv[1], sys.argv[2]
out = bytearray()
count = 0
with open(src, encoding="ascii") as f:
    for line in f:
        cid, charset, collation, maxlen = line.rstrip("\n").split("\t")
        cs, co = charset.encode("ascii"), collation.encode("ascii")
        out += struct.pack("<IIII", int(cid), MBMINLEN.get(charset, 1), int(maxlen), len(cs))
        out += cs + struct.pack("<I", len(co)) + co
        count += 1
if count == 0:
    sys.exit("no collations returned")
with open(dst, "wb") as f:
    f.write(out)
print(f"{count} collations, {len(out)} bytes", file=sys.stderr)
EOF
mv "$OUTFILE.tmp" "$OUTFILE"
