#!/bin/sh
# Extraction speed: a silent self-extracting file of mixed files (text,
# binaries, already-compressed data, many small files and a few large ones)
# run under Wine, against Debian's `unzip -q` natively on the same archive.
# The floor is bench/bare_extract.cpp of the same kind: the same files made,
# written, stamped and closed with the stub's calls, nothing decompressed;
# what the stub takes beyond it is its own.
# Usage: bench/extract_speed.sh [BUILD_DIR] [SIZE_MIB] [RUNS] [KINDS] [SHAPE]
# BUILD_DIR defaults to build (its host/, i686/ and x86_64/ trees and wine/
# prefix), SIZE_MIB to 200, RUNS to 5 (the median and the range are
# printed), KINDS to "i686 x86_64": each stub is measured in the same run
# against the same unzip runs. SHAPE is the corpus of bench/make_corpus.py:
# mixed (the default) or shipped (many more, smaller files). The wizard's
# figure (bench/wizard_extract.cpp) follows each kind's runs.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
size_mib=${2:-200}
runs=${3:-5}
kinds=${4:-i686 x86_64}
shape=${5:-mixed}
tool=$build/host/bin/vandrel-pack
for f in "$tool" $(for k in $kinds; do echo "$build/$k/bin/vandrel-stub.exe $build/$k/bin/bare_extract.exe $build/$k/bin/wizard_extract.exe"; done); do
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

python3 "$here/bench/make_corpus.py" "$work/src" "$size_mib" "$shape"
echo "corpus: $(du -sm "$work/src" | cut -f1) MiB in $(find "$work/src" -type f | wc -l) files"

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
. "$here/scripts/wine-env.sh"
"$here/scripts/wine-start.sh"
now() { date +%s.%N; }
report=""
wizard_report=""
for kind in $kinds; do
    stub=$build/$kind/bin/vandrel-stub.exe
    [ "$(wine_loader_for "$stub")" = "$WINE32" ] && echo "$kind: 32-bit Wine $(i386_mode)"
    # A relative destination: each run extracts below a folder of its own.
    "$tool" --stub "$stub" --no-gui --default-path out-vandrel \
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

    times=""
    i=0
    # Nothing is deleted while the runs are timed: a file system without a
    # journal (ext4 so) skips inodes freed in the last seconds, and a program
    # started just after thousands of deletions pays for searching past them.
    rm -rf "$work/runs"
    while [ "$i" -lt "$runs" ]; do
        i=$((i + 1))
        run_dir=$work/runs/$kind-$i
        mkdir -p "$run_dir"
        sync
        t0=$(now)
        # The stub ends with exit code 1 whatever happened; the output is checked.
        (cd "$run_dir" && "$here/scripts/wine-run.sh" "$work/sfx.exe") || true
        t1=$(now)
        sync
        t2=$(now)
        unzip -q "$work/same.zip" -d "$run_dir/out-unzip"
        t3=$(now)
        sync
        t4=$(now)
        "$here/scripts/wine-run.sh" "$build/$kind/bin/bare_extract.exe" \
            "$(winpath "$work/list.txt")" "$(winpath "$run_dir/out-bare")"
        t5=$(now)
        v=$(echo "$t1 - $t0" | bc)
        u=$(echo "$t3 - $t2" | bc)
        f=$(echo "$t5 - $t4" | bc)
        echo "$kind run $i: vandrel under Wine $v s, unzip -q $u s, floor under Wine $f s"
        times="$times $v,$u,$f"
    done
    diff -r "$run_dir/out-vandrel" "$run_dir/out-unzip" >/dev/null ||
        { echo "$kind: vandrel and unzip extracted different trees" >&2; exit 1; }
    # The wizard's figure: the same archive with its pages, the status line
    # and the bar following every entry, against the silent file in turn.
    "$tool" --stub "$stub" --default-path out-wizard "$work/src" -o "$work/wizard.exe" >/dev/null
    mkdir -p "$work/runs/wizard"
    wizard=$("$here/scripts/wine-run.sh" "$build/$kind/bin/wizard_extract.exe" \
        "$(winpath "$work/wizard.exe")" "$(winpath "$work/sfx.exe")" \
        "$(winpath "$work/runs/wizard")" "$runs")
    printf '%s\n' "$wizard" | sed "s/^/$kind /"
    diff -r "$work/runs/wizard/wizard-1/out-wizard" "$run_dir/out-unzip" >/dev/null ||
        { echo "$kind: the wizard and unzip extracted different trees" >&2; exit 1; }
    # Freed inodes count as recent for up to 10 s.
    rm -rf "$work/runs"
    sync
    sleep 12
    label=$kind
    [ "$kind" = i686 ] && [ "$(i386_mode)" != native ] && label="$kind(emulated)"
    report="$report$label$times
"
    wizard_report="$wizard_report$(printf '%s\n' "$wizard" | tail -3 | sed "s/^/$label: /")
"
done

printf '%s' "$report" | python3 -c '
import statistics, sys
for line in sys.stdin:
    kind, *runs = line.split()
    v, u, f = zip(*(map(float, r.split(",")) for r in runs))
    def fig(xs):
        return f"{statistics.median(xs):.2f} s ({min(xs):.2f}-{max(xs):.2f})"
    mv, mu, mf = statistics.median(v), statistics.median(u), statistics.median(f)
    print(f"{kind}: median of {len(runs)}: vandrel (Wine) {fig(v)}, unzip -q {fig(u)}, "
          f"floor (Wine, nothing decompressed) {fig(f)}")
    print(f"{kind}: vandrel / unzip -q {mv / mu:.2f} (goal: at most 1.30), vandrel / floor "
          f"{mv / mf:.2f} (goal: at most 1.15), the 0.30 s pause included; "
          f"floor / unzip -q {mf / mu:.2f}")
'
printf '%s' "$wizard_report"
