#!/usr/bin/env bash
# Builds the libFuzzer harnesses in build-fuzz (clang, ASan + UBSan) and runs
# each for SECONDS_PER_HARNESS seconds (default 30) on seeds cut from the
# sample data directory and ../shared/external-fixtures.
#   scripts/run-fuzz.sh [SECONDS_PER_HARNESS]
# Prints seconds, executions and crashes per harness; exits 1 after a crash
# (inputs in build-fuzz/artifacts/<harness>/), 77 when clang's libFuzzer is missing.
# VOSTREL_FUZZ_CORPUS=DIR keeps the grown corpora there between runs.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
secs=${1:-30}

if ! command -v clang++ >/dev/null || ! command -v clang >/dev/null; then
    echo "run-fuzz: clang is not installed (apt-get install -y clang libclang-rt-14-dev)" >&2
    exit 77
fi
work=$(mktemp -d /tmp/vostrel-fuzz-run.XXXXXX)
trap 'rm -rf "$work"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' >"$work/probe.cpp"
if ! clang++ -fsanitize=fuzzer,address,undefined "$work/probe.cpp" -o "$work/probe" 2>/dev/null; then
    echo "run-fuzz: clang cannot link libFuzzer (apt-get install -y libclang-rt-14-dev)" >&2
    exit 77
fi

harnesses=(fuzz_frm fuzz_myisam fuzz_innodb fuzz_dictionary fuzz_views_triggers fuzz_definitions)
declare -A max_len=([fuzz_frm]=65536 [fuzz_myisam]=65536 [fuzz_innodb]=266240
                    [fuzz_dictionary]=262144 [fuzz_views_triggers]=65536
                    [fuzz_definitions]=65536)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DVOSTREL_FUZZ=ON -DVOSTREL_TESTS=OFF \
    -DVOSTREL_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$work/configure.log" 2>&1 ||
    { cat "$work/configure.log" >&2; exit 2; }
cmake --build build-fuzz --target fuzz -j2 >"$work/build.log" 2>&1 ||
    { tail -n 60 "$work/build.log" >&2; exit 2; }

tar -xJf tests/fixtures/sample-datadir.tar.xz -C "$work"
external=${VOSTREL_EXTERNAL_FIXTURES:-$(cd .. && pwd)/shared/external-fixtures}
[ -d "$external" ] || external=""
fuzz/make-seeds.sh "$work/sample-datadir" "$external" "$work/seeds"

# libFuzzer leaves without exit handlers: the harnesses' scratch folders go with $work.
mkdir -p "$work/tmp"
export TMPDIR=$work/tmp
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# Runs one harness; leaves "seconds executions crashes" in $work/result.<harness>.
run_harness() {
    local h=$1
    # A fresh corpus each run: re-running a grown one would eat short time budgets.
    local corpus=${VOSTREL_FUZZ_CORPUS:-$work/corpus}/$h
    local artifacts=build-fuzz/artifacts/$h
    local log=build-fuzz/artifacts/$h.log
    rm -rf "$artifacts"
    mkdir -p "$corpus" "$artifacts"
    local start end rc=0 execs crashes
    start=$(date +%s.%N)
    # -malloc_limit_mb: no single allocation may dwarf the input.
    build-fuzz/fuzz/"$h" "$corpus" "$work/seeds/$h" -max_total_time="$secs" -timeout=10 \
        -max_len="${max_len[$h]}" -rss_limit_mb=2048 -malloc_limit_mb=512 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" >"$log" 2>&1 || rc=$?
    end=$(date +%s.%N)
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    crashes=$(find "$artifacts" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
        -o -name 'oom-*' \) | wc -l)
    if [ "$rc" -ne 0 ] && [ "$crashes" -eq 0 ]; then crashes=1; fi  # died without an artifact
    echo "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }') ${execs:-0} $crashes" >"$work/result.$h"
}

# Two harnesses at a time on two cores (VOSTREL_FUZZ_JOBS to change).
jobs=${VOSTREL_FUZZ_JOBS:-$(($(nproc) >= 2 ? 2 : 1))}
running=0
for h in "${harnesses[@]}"; do
    run_harness "$h" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
        wait -n || true
        running=$((running - 1))
    fi
done
wait

status=0
printf '%-22s %8s %12s %8s\n' harness seconds executions crashes
for h in "${harnesses[@]}"; do
    read -r took execs crashes <"$work/result.$h" || { took=0 execs=0 crashes=1; }
    printf '%-22s %8.1f %12s %8s\n' "$h" "$took" "$execs" "$crashes"
    if [ "$crashes" -ne 0 ]; then
        status=1
        grep -m1 -E 'ERROR: |runtime error|invariant broken' "build-fuzz/artifacts/$h.log" | sed 's/^/    /' || true
        echo "    log: build-fuzz/artifacts/$h.log; inputs: build-fuzz/artifacts/$h/"
    fi
done
exit "$status"
