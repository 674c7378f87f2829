#!/usr/bin/env bash
# Seed corpora for the harnesses, cut at run time from real files:
#   fuzz/make-seeds.sh SAMPLE_DATADIR EXTERNAL_FIXTURES_DIR|"" OUT_DIR
# Multi-file inputs are [u16 little-endian length][file]... [last file].
set -euo pipefail
sample=$1
external=${2:-}
out=$3
mkdir -p "$out"/{fuzz_frm,fuzz_myisam,fuzz_innodb,fuzz_dictionary,fuzz_views_triggers,fuzz_definitions}

u16le() { printf "\\$(printf %03o $(($1 & 255)))\\$(printf %03o $((($1 >> 8) & 255)))"; }
size_of() { stat -c %s "$1"; }
# Named after the source file, so that reruns give the same seeds.
seed() { printf '%s/%s/%s' "$out" "$1" "$(printf '%s' "$2" | md5sum | cut -c1-16)"; }
files() { find "$sample" ${external:+"$external"} -type f "$@" 2>/dev/null | sort; }

# Every .frm, tables and views alike.
while IFS= read -r f; do
    if [ "$(size_of "$f")" -le 65535 ]; then cp "$f" "$(seed fuzz_frm "$f")"; fi
done < <(files -name '*.frm')

# MyISAM: .frm + .MYI + the first 48 KiB of the .MYD.
while IFS= read -r myi; do
    base=${myi%.MYI}
    if [ -f "$base.frm" ] && [ -f "$base.MYD" ] && [ "$(size_of "$base.frm")" -le 65535 ] &&
        [ "$(size_of "$myi")" -le 65535 ]; then
        {
            u16le "$(size_of "$base.frm")"; cat "$base.frm"
            u16le "$(size_of "$myi")"; cat "$myi"
            head -c 49152 "$base.MYD"
        } >"$(seed fuzz_myisam "$myi")"
    fi
done < <(files -name '*.MYI')

# InnoDB: .frm + the first 16 pages of the .ibd (root page 3, its first leaves and value pages).
while IFS= read -r ibd; do
    frm=${ibd%.ibd}.frm
    if [ -f "$frm" ] && [ "$(size_of "$frm")" -le 65535 ]; then
        {
            u16le "$(size_of "$frm")"; cat "$frm"
            head -c $((16 * 16384)) "$ibd"
        } >"$(seed fuzz_innodb "$ibd")"
    fi
done < <(files -name '*.ibd')

# The dictionary: ibdata1 up to the SYS_FIELDS root (page 12).
if [ -f "$sample/ibdata1" ]; then
    head -c $((13 * 16384)) "$sample/ibdata1" >"$(seed fuzz_dictionary ibdata1)"
fi
# Tablespaces of ROW_FORMAT=REDUNDANT tables hold index pages in the dictionary's record format.
while IFS= read -r ibd; do
    head -c $((6 * 16384)) "$ibd" >"$(seed fuzz_dictionary "$ibd")"
done < <(files -path '*redundant*' -name '*.ibd' | head -n 8)

# View definitions (text .frm files) and trigger files.
while IFS= read -r f; do
    if [[ $f != *.frm ]] || head -c 9 "$f" | grep -q '^TYPE=VIEW'; then
        if [ "$(size_of "$f")" -le 65536 ]; then cp "$f" "$(seed fuzz_views_triggers "$f")"; fi
    fi
done < <(files \( -name '*.frm' -o -name '*.TRG' -o -name '*.TRN' \))

# Definitions files: the SQL scripts of the external fixtures and the sample's dumps.
while IFS= read -r f; do
    if [ "$(size_of "$f")" -le 65536 ]; then cp "$f" "$(seed fuzz_definitions "$f")"; fi
done < <(files -name '*.sql')
