#!/bin/sh
# Wine server requests per extracted file: the stub's silent extraction
# against the floor program (bench/bare_extract.cpp), which makes the same
# files with the same calls and decompresses nothing. Every request is a
# round trip to another process, where most of the stub's waiting goes.
# Usage: bench/server_requests.sh [BUILD_DIR] [KIND] [SIZE_MIB] [SHAPE]
# KIND defaults to x86_64, SIZE_MIB to 30, SHAPE (of bench/make_corpus.py)
# to mixed. Uses a copy of the build's prefix
# with a tracing server of its own.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
kind=${2:-x86_64}
size_mib=${3:-30}
shape=${4:-mixed}
tool=$build/host/bin/vandrel-pack
stub=$build/$kind/bin/vandrel-stub.exe
bare=$build/$kind/bin/bare_extract.exe
for f in "$tool" "$stub" "$bare"; do
    [ -f "$f" ] || { echo "missing $f (build first)" >&2; exit 1; }
done
"$here/scripts/wine-start.sh"

work=$(mktemp -d "$build/bench-requests.XXXXXX")
export VANDREL_WINEPREFIX="$work/prefix"
. "$here/scripts/wine-env.sh"
[ "$(wine_loader_for "$stub")" = "$WINE32" ] && echo "$kind: 32-bit Wine $(i386_mode)"
cleanup() {
    "$WINESERVER" -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
cp -a "${build}/wine" "$work/prefix"

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
python3 "$here/bench/make_corpus.py" "$work/src" "$size_mib" "$shape"
"$tool" --stub "$stub" --no-gui --default-path "$(winpath "$work/out")" "$work/src" \
    -o "$work/sfx.exe" >/dev/null
# The same entries for the floor program.
python3 "$here/bench/entry_list.py" "$work/sfx.exe" "$work/list.txt"
files=$(grep -c '^F' "$work/list.txt")

# A server of this prefix's own that traces every request.
"$WINESERVER" -f -d1 -p60 2>"$work/trace.txt" &
sleep 1
timeout 120 "$WINE64" wineboot >/dev/null 2>&1 || true
count() {  # name, then the program and its arguments
    name=$1
    shift
    sleep 1
    start=$(wc -l <"$work/trace.txt")
    WINEDEBUG=${TRACE:--all} timeout 300 "$(wine_loader_for "$1")" "$@" || true  # the stub ends with 1 whatever happened
    sleep 1
    tail -n +"$((start + 1))" "$work/trace.txt" | grep -o '^[0-9a-f]*: [a-z_0-9]*() = ' |
        awk '{print $2}' | sed 's/()//' | sort | uniq -c | sort -rn >"$work/$name.counts"
    total=$(awk '{s += $1} END {print s + 0}' "$work/$name.counts")
    echo "$name: $total requests, $(echo "scale=2; $total / $files" | bc) per file; most frequent:"
    head -5 "$work/$name.counts" | awk -v n="$files" '{printf "    %-22s %6d  %.2f per file\n", $2, $1, $1 / n}'
}
echo "$kind: $files files, $(grep -c '^D' "$work/list.txt") directories, $size_mib MiB"
count vandrel "$work/sfx.exe"
count floor "$bare" "$(winpath "$work/list.txt")" "$(winpath "$work/out-bare")"
diff -r "$work/out" "$work/src" >/dev/null || { echo "the stub's output differs from the source" >&2; exit 1; }
