#!/bin/sh
# Cleanup cost: a silent self-extracting file of 2,000 small files in 40
# folders, run under Wine with Delete=1 (extraction, then the cleanup that
# deletes every entry and the destination) against the same archive without
# Delete (extraction alone), alternating in the same run.
# The cleanup pauses twice for 500 ms by design; the figures show that fixed
# second apart from the deletions themselves.
# Usage: bench/cleanup_speed.sh [BUILD_DIR] [RUNS] [KINDS]
# BUILD_DIR defaults to build, RUNS (best of) to 3, KINDS to "i686 x86_64".
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
runs=${2:-3}
kinds=${3:-i686 x86_64}
tool=$build/host/bin/vandrel-pack
for f in "$tool" $(for k in $kinds; do echo "$build/$k/bin/vandrel-stub.exe"; done); do
    [ -f "$f" ] || { echo "missing $f (build first)" >&2; exit 1; }
done

export VANDREL_WINEPREFIX="${VANDREL_WINEPREFIX:-$build/wine}"
work=$(mktemp -d "$build/bench-cleanup.XXXXXX")
cleanup() {
    "$here/scripts/wine-stop.sh" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

python3 - "$work/src" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(9)
for i in range(2000):
    folder = os.path.join(root, f"d{i % 40:02d}")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, f"f{i:04d}.txt"), "wb") as f:
        f.write(bytes(rng.choice(b"abcdefgh \n") for _ in range(rng.randint(200, 4000))))
PY
echo "corpus: $(find "$work/src" -type f | wc -l) files in $(find "$work/src" -mindepth 1 -type d | wc -l) folders, $(du -sk "$work/src" | cut -f1) KiB"

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
. "$here/scripts/wine-env.sh"
"$here/scripts/wine-start.sh"
now() { date +%s.%N; }
timed() { t0=$(now); "$here/scripts/wine-run.sh" "$1" || true; t1=$(now); echo "$t1 - $t0" | bc; }
for kind in $kinds; do
    stub=$build/$kind/bin/vandrel-stub.exe
    [ "$(wine_loader_for "$stub")" = "$WINE32" ] && echo "$kind: 32-bit Wine $(i386_mode)"
    "$tool" --stub "$stub" --no-gui --default-path "$(winpath "$work/out")" \
        "$work/src" -o "$work/extract.exe" >/dev/null
    "$tool" --stub "$stub" --no-gui --default-path "$(winpath "$work/out")" --delete \
        "$work/src" -o "$work/delete.exe" >/dev/null
    # A first run so that neither side pays for Wine's first start.
    rm -rf "$work/out"
    "$here/scripts/wine-run.sh" "$work/extract.exe" || true

    best_extract=
    best_delete=
    i=0
    while [ "$i" -lt "$runs" ]; do
        i=$((i + 1))
        rm -rf "$work/out"
        e=$(timed "$work/extract.exe")
        [ "$(find "$work/out" -type f | wc -l)" -eq 2000 ] ||
            { echo "$kind: the extraction left $(find "$work/out" -type f | wc -l) files" >&2; exit 1; }
        rm -rf "$work/out"
        d=$(timed "$work/delete.exe")
        [ ! -e "$work/out" ] || { echo "$kind: the cleanup left $work/out behind" >&2; exit 1; }
        echo "$kind run $i: extraction alone $e s, extraction and cleanup $d s"
        if [ -z "$best_extract" ] || [ "$(echo "$e < $best_extract" | bc)" = 1 ]; then best_extract=$e; fi
        if [ -z "$best_delete" ] || [ "$(echo "$d < $best_delete" | bc)" = 1 ]; then best_delete=$d; fi
    done
    python3 - "$kind" "$best_extract" "$best_delete" "$runs" <<'PY'
import sys
kind, e, d, runs = sys.argv[1], float(sys.argv[2]), float(sys.argv[3]), sys.argv[4]
print(f"{kind}, best of {runs}: extraction alone {e:.2f} s, with Delete=1 {d:.2f} s "
      f"(ratio {d / e:.2f})")
print(f"{kind}: the cleanup adds {d - e:.2f} s, of which 1.00 s are its two pauses: "
      f"{(d - e - 1.0) * 1000 / 2040:.2f} ms per entry deleted (2,000 files, 40 folders)")
PY
done
