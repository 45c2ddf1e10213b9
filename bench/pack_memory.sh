#!/bin/sh
# Peak resident size and time of vandrel-pack packing the 200 MiB corpus of
# bench/make_corpus.py, against the same corpus plus two large files, one of
# pseudo-random and one of compressible data, that take it to about 1.5 GiB.
# Large entries are streamed, so the two peaks should lie within a few tens
# of MiB of each other.
# Usage: bench/pack_memory.sh [VANDREL_PACK] [STUB]
# VANDREL_PACK defaults to the release builder of `make build`, STUB to the
# i686 stub of the same build directory.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
tool=${1:-$here/build/release/bin/vandrel-pack}
stub=${2:-$here/build/i686/bin/vandrel-stub.exe}
for f in "$tool" "$stub"; do [ -f "$f" ] || { echo "missing $f (make build first)" >&2; exit 1; }; done
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/bench-pack-memory.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 1' INT TERM

python3 "$here/bench/make_corpus.py" "$work/corpus" 200
# The large folder links the corpus's files rather than copying them.
cp -al "$work/corpus" "$work/large"
python3 - "$work/large" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(7)
step = 16 << 20
with open(f"{root}/huge-random.bin", "wb") as f:
    for _ in range(660 << 20 >> 24):
        f.write(rng.randbytes(step))
words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 10)))
         for _ in range(5000)]
block = bytearray()
while len(block) < step:
    block += b" ".join(rng.choice(words) for _ in range(12)) + b"\n"
with open(f"{root}/huge-text.log", "wb") as f:
    for i in range(660 << 20 >> 24):
        f.write(block[i:step] + block[:i])
PY

peak() {
    rm -f "$work/$1.exe"
    /usr/bin/time -f "%M %e" -o "$work/$1.time" \
        "$tool" --stub "$stub" "$work/$1" -o "$work/$1.exe" >/dev/null
    "$tool" --info "$work/$1.exe" >/dev/null
    cat "$work/$1.time"
}
set -- $(peak corpus); small_kib=$1; small_s=$2
size_small=$(du -sm "$work/corpus" | cut -f1)
set -- $(peak large); large_kib=$1; large_s=$2
size_large=$(du -sm --count-links "$work/large" | cut -f1)
echo "corpus ($size_small MiB): max resident $((small_kib >> 10)) MiB, $small_s s"
echo "large folder ($size_large MiB): max resident $((large_kib >> 10)) MiB, $large_s s"
echo "difference: $(((large_kib - small_kib) >> 10)) MiB (goal: a few tens of MiB)"
