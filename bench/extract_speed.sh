#!/bin/sh
# Extraction speed: a silent self-extracting file of mixed files (text,
# binaries, already-compressed data, many small files and a few large ones)
# run under Wine, against Debian's `unzip -q` natively on the same archive.
# The floor is bench/bare_extract.cpp of the same kind: the same files made,
# written, stamped and closed with the stub's calls, nothing decompressed;
# what the stub takes beyond it is its own.
# Usage: bench/extract_speed.sh [BUILD_DIR] [SIZE_MIB] [RUNS] [KINDS]
# BUILD_DIR defaults to build (its host/, i686/ and x86_64/ trees and wine/
# prefix), SIZE_MIB to 200, RUNS (best of) to 3, KINDS to "i686 x86_64": each
# stub is measured in the same run against the same unzip runs.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
size_mib=${2:-200}
runs=${3:-3}
kinds=${4:-i686 x86_64}
tool=$build/host/bin/vandrel-pack
for f in "$tool" $(for k in $kinds; do echo "$build/$k/bin/vandrel-stub.exe $build/$k/bin/bare_extract.exe"; done); do
    [ -f "$f" ] || { echo "missing $f (build first)" >&2; exit 1; }
done
command -v unzip >/dev/null || { echo "unzip is not installed" >&2; exit 1; }

export VANDREL_WINEPREFIX="${VANDREL_WINEPREFIX:-$build/wine}"
work=$(mktemp -d "$build/bench-extract.XXXXXX")
cleanup() {
    "$here/scripts/wine-stop.sh" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

python3 "$here/bench/make_corpus.py" "$work/src" "$size_mib"
echo "corpus: $(du -sm "$work/src" | cut -f1) MiB in $(find "$work/src" -type f | wc -l) files"

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
. "$here/scripts/wine-env.sh"
"$here/scripts/wine-start.sh"
now() { date +%s.%N; }
report=""
for kind in $kinds; do
    stub=$build/$kind/bin/vandrel-stub.exe
    [ "$(wine_loader_for "$stub")" = "$WINE32" ] && echo "$kind: 32-bit Wine $(i386_mode)"
    "$tool" --stub "$stub" --no-gui --default-path "$(winpath "$work/out-vandrel")" \
        "$work/src" -o "$work/sfx.exe" >/dev/null
    # The very archive inside the self-extracting file, for unzip.
    python3 - "$work/sfx.exe" "$work/same.zip" <<'PY'
import re, sys
data = open(sys.argv[1], "rb").read()
size = int(re.search(rb"\nZipSize=(\d+)\n", data).group(1))
open(sys.argv[2], "wb").write(data[-size:])
PY
    # The same entries for the floor program.
    python3 "$here/bench/entry_list.py" "$work/sfx.exe" "$work/list.txt"
    echo "$kind: archive $(($(stat -c %s "$work/same.zip") >> 20)) MiB, self-extracting file $(($(stat -c %s "$work/sfx.exe") >> 20)) MiB"

    # One small run first, so that no run pays for Wine's first start.
    rm -rf "$work/warm" "$work/out-warm"
    mkdir -p "$work/warm"
    echo warm > "$work/warm/w.txt"
    "$tool" --stub "$stub" --no-gui --default-path "$(winpath "$work/out-warm")" \
        "$work/warm" -o "$work/warm.exe" >/dev/null
    "$here/scripts/wine-run.sh" "$work/warm.exe" || true
    [ -f "$work/out-warm/w.txt" ] || { echo "$kind: the warm-up run extracted nothing" >&2; exit 1; }
    cat "$work/sfx.exe" "$work/same.zip" >/dev/null

    best_vandrel=
    best_unzip=
    best_floor=
    i=0
    while [ "$i" -lt "$runs" ]; do
        i=$((i + 1))
        rm -rf "$work/out-vandrel" "$work/out-unzip" "$work/out-bare"
        sync
        t0=$(now)
        # The stub ends with exit code 1 whatever happened; the output is checked.
        "$here/scripts/wine-run.sh" "$work/sfx.exe" || true
        t1=$(now)
        unzip -q "$work/same.zip" -d "$work/out-unzip"
        t2=$(now)
        sync
        t3=$(now)
        "$here/scripts/wine-run.sh" "$build/$kind/bin/bare_extract.exe" \
            "$(winpath "$work/list.txt")" "$(winpath "$work/out-bare")"
        t4=$(now)
        v=$(echo "$t1 - $t0" | bc)
        u=$(echo "$t2 - $t1" | bc)
        f=$(echo "$t4 - $t3" | bc)
        echo "$kind run $i: vandrel under Wine $v s, unzip -q $u s, floor under Wine $f s"
        if [ -z "$best_vandrel" ] || [ "$(echo "$v < $best_vandrel" | bc)" = 1 ]; then best_vandrel=$v; fi
        if [ -z "$best_unzip" ] || [ "$(echo "$u < $best_unzip" | bc)" = 1 ]; then best_unzip=$u; fi
        if [ -z "$best_floor" ] || [ "$(echo "$f < $best_floor" | bc)" = 1 ]; then best_floor=$f; fi
    done
    diff -r "$work/out-vandrel" "$work/out-unzip" >/dev/null ||
        { echo "$kind: vandrel and unzip extracted different trees" >&2; exit 1; }
    label=$kind
    [ "$kind" = i686 ] && [ "$(i386_mode)" != native ] && label="$kind(emulated)"
    report="$report$label $best_vandrel $best_unzip $best_floor
"
done

printf '%s' "$report" | python3 -c '
import sys
runs = sys.argv[1]
for line in sys.stdin:
    kind, v, u, f = line.split()
    v, u, f = float(v), float(u), float(f)
    print(f"{kind}: best of {runs}: vandrel (Wine) {v:.2f} s, unzip -q {u:.2f} s, "
          f"ratio {v / u:.2f} (goal: at most 1.30, the 0.30 s pause included)")
    print(f"{kind}: floor (same files written under Wine, nothing decompressed) {f:.2f} s, "
          f"{f / u:.2f} of unzip; vandrel less its pause is {(v - 0.3) / f:.2f} times the floor")
' "$runs"
