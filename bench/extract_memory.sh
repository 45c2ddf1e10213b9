#!/bin/sh
# Peak resident size of a silent self-extracting file under Wine while it
# extracts one 1 GiB entry, against one 1 MiB entry: the data are streamed
# through the writer's 8 MiB ring, so the two peaks should lie within about
# 8 MiB of each other.
# Usage: bench/extract_memory.sh [BUILD_DIR] [KIND]
# KIND is i686 (the release, under 32-bit Wine), the default, or x86_64.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
tool=$build/host/bin/vandrel-pack
. "$here/scripts/wine-env.sh"
kind=${2:-i686}
stub=$build/$kind/bin/vandrel-stub.exe
echo "stub: $kind$([ "$kind" = i686 ] && echo ", 32-bit Wine $(i386_mode)")"
for f in "$tool" "$stub"; do [ -f "$f" ] || { echo "missing $f (build first)" >&2; exit 1; }; done
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed" >&2; exit 1; }

export VANDREL_WINEPREFIX="${VANDREL_WINEPREFIX:-$build/wine}"
work=$(mktemp -d "$build/bench-memory.XXXXXX")
cleanup() {
    "$here/scripts/wine-stop.sh" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# Text-like data that deflate shrinks, written in 4 MiB steps.
python3 - "$work" <<'PY'
import os, random, sys
work = sys.argv[1]
rng = random.Random(3)
words = [bytes(rng.choice(b"abcdefghijklmnop") for _ in range(rng.randint(2, 9))) for _ in range(4000)]
block = bytearray()
while len(block) < 4 << 20:
    block += b" ".join(rng.choice(words) for _ in range(14)) + b"\n"
block = bytes(block[: 4 << 20])
for name, mib in (("small", 1), ("large", 1024)):
    os.makedirs(f"{work}/{name}")
    with open(f"{work}/{name}/data.txt", "wb") as f:
        for step in range(0, mib, 4) if mib >= 4 else [0]:
            f.write(block[: min(mib, 4) << 20][step % 7:] + block[: step % 7])
PY

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
"$here/scripts/wine-start.sh"
for name in small large; do
    "$tool" --stub "$stub" --level 1 --no-gui --default-path "$(winpath "$work/out-$name")" \
        "$work/$name" -o "$work/$name.exe" >/dev/null
done
"$here/scripts/wine-run.sh" "$work/small.exe" || true  # Wine's first start

# Two views of the same peak: GNU time's maximum resident size over the Wine
# process tree, and VmHWM of the program's own process polled from /proc.
peak() {
    rm -rf "$work/out-$1" "$work/$1.hwm"
    /usr/bin/time -f "%M" -o "$work/$1.rss" "$here/scripts/wine-run.sh" "$work/$1.exe" &
    runner=$!
    while kill -0 "$runner" 2>/dev/null; do
        for pid in $(pgrep -f "$1\.exe" || true); do
            grep VmHWM "/proc/$pid/status" 2>/dev/null | awk '{print $2}' >> "$work/$1.hwm" || true
        done
        sleep 0.05
    done
    # The stub ends with exit code 1 whatever happened; the output is checked.
    wait "$runner" || true
    cmp -s "$work/$1/data.txt" "$work/out-$1/data.txt" ||
        { echo "$1: extracted data differ" >&2; exit 1; }
    hwm=$(sort -n "$work/$1.hwm" 2>/dev/null | tail -1)
    echo "$(tail -1 "$work/$1.rss") ${hwm:-0}"
}
set -- $(peak small); small_kib=$1; small_hwm=$2
set -- $(peak large); large_kib=$1; large_hwm=$2
echo "entry of 1 MiB ($(stat -c %s "$work/small.exe") byte file): max resident $small_kib KiB, VmHWM $small_hwm KiB"
echo "entry of 1 GiB ($(stat -c %s "$work/large.exe") byte file): max resident $large_kib KiB, VmHWM $large_hwm KiB"
echo "difference: max resident $((large_kib - small_kib)) KiB, VmHWM $((large_hwm - small_hwm)) KiB (goal: about 8 MiB, the ring)"
