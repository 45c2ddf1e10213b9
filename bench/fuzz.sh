#!/bin/sh
# Builds the libFuzzer targets with clang in build/fuzz and runs each for a
# bounded time from a seed corpus made here, then prints per target the time,
# the executions and the findings (inputs that broke a promise or tripped a
# sanitizer, kept in build/fuzz/findings/).
# Usage: bench/fuzz.sh [SECONDS_PER_TARGET] [TARGET ...]
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SECONDS_EACH=${1:-30}
[ $# -gt 0 ] && shift
TARGETS=${*:-"payload_scan text folder_path shortcut_split entry_name zip_reader"}
BUILD="$ROOT/build/fuzz"

command -v clang++ >/dev/null || { echo "fuzz: clang++ is needed (apt-get install clang)" >&2; exit 1; }
if [ ! -f "$BUILD/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$ROOT/tests/fuzz" -B "$BUILD" -G Ninja >/dev/null
fi
cmake --build "$BUILD" >/dev/null

python3 "$ROOT/tests/fuzz/make_seeds.py" "$BUILD/seeds"
mkdir -p "$BUILD/findings" "$BUILD/corpus"

printf '%-16s %8s %12s %9s\n' target seconds executions findings
for t in $TARGETS; do
    corpus="$BUILD/corpus/$t"
    mkdir -p "$corpus"
    log="$BUILD/$t.log"
    start=$(date +%s)
    # The outer time-out guards against a target that stops answering.
    timeout $((SECONDS_EACH + 60)) "$BUILD/fuzz_$t" -max_total_time="$SECONDS_EACH" \
        -timeout=10 -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
        -artifact_prefix="$BUILD/findings/$t-" "$corpus" "$BUILD/seeds/$t" >"$log" 2>&1 || true
    took=$(( $(date +%s) - start ))
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
    [ -n "$runs" ] || runs=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log" | tail -n1)
    found=$(ls "$BUILD/findings" | grep -c "^$t-" || true)
    printf '%-16s %8s %12s %9s\n' "$t" "$took" "${runs:-?}" "$found"
done
