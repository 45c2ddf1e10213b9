#!/bin/sh
# Packing speed of vandrel-pack against Debian's `zip -r -6` on the same
# folder of mixed files (text, binary, incompressible, many small files).
# Usage: bench/pack_speed.sh [VANDREL_PACK] [SIZE_MIB] [SHAPE]
# VANDREL_PACK defaults to the release builder of `make build` (build/release,
# made here when missing: the test tree's tool runs under the sanitizers);
# SIZE_MIB to 300. SHAPE, when given, takes the folder from
# bench/make_corpus.py instead (mixed or shipped), the one the extraction
# is measured on.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -ge 1 ]; then
    tool=$1
else
    tool=$here/build/release/bin/vandrel-pack
    cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DVANDREL_SANITIZE=OFF >/dev/null
    cmake --build "$here/build/release" --target vandrel-pack >/dev/null
fi
size_mib=${2:-300}
shape=${3:-}
[ -x "$tool" ] || { echo "no vandrel-pack at $tool" >&2; exit 1; }
command -v zip >/dev/null || { echo "zip is not installed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

if [ -n "$shape" ]; then
    python3 "$here/bench/make_corpus.py" "$work/src" "$size_mib" "$shape"
else
python3 - "$work/src" "$size_mib" <<'PY'
import os, random, sys
root, total = sys.argv[1], int(sys.argv[2]) << 20
rng = random.Random(1)
words = [("".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 10))))
         for _ in range(5000)]
def text(n):
    out, size = [], 0
    while size < n:
        line = " ".join(rng.choice(words) for _ in range(12)) + "\n"
        out.append(line); size += len(line)
    return "".join(out).encode()[:n]
text_block = text(4 << 20)
def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f: f.write(data)
made, i = 0, 0
while made < total:
    kind = i % 4
    if kind == 0:   # large text file
        n = 8 << 20; data = (text_block * 3)[:n]
        data = data[i % 1000:] + data[:i % 1000]
        write(f"{root}/docs/log{i}.txt", data)
    elif kind == 1:  # incompressible, like media or archives
        n = 6 << 20; data = os.urandom(n)
        write(f"{root}/media/blob{i}.bin", data)
    elif kind == 2:  # semi-compressible binary: repeated records with noise
        n = 4 << 20
        rec = bytes(rng.getrandbits(8) if j % 4 == 0 else j & 0xFF for j in range(4096))
        data = (rec * (n // 4096))
        write(f"{root}/bin/data{i}.dat", data)
    else:            # many small source-like files
        n = 0
        for k in range(200):
            d = text_block[(k * 7919) % (3 << 20):][: rng.randint(200, 40000)]
            write(f"{root}/src/m{i}/f{k}.c", d); n += len(d)
    made += n; i += 1
PY
fi

# A stand-in stub: the MZ and PE headers of an i386 program, then filler.
python3 - "$work/stub.exe" <<'PY'
import struct, sys
data = bytearray(b"x" * 40000)
data[0:2] = b"MZ"
struct.pack_into("<I", data, 0x3C, 0x80)
data[0x80:0x84] = b"PE\0\0"
struct.pack_into("<H", data, 0x84, 0x14C)
struct.pack_into("<H", data, 0x84 + 18, 0x0102)
open(sys.argv[1], "wb").write(data)
PY
echo "source: $(du -sm "$work/src" | cut -f1) MiB in $(find "$work/src" -type f | wc -l) files"

# Best of three runs each, alternating, so that a busy machine hurts both.
best_pack=; best_zip=
for run in 1 2 3; do
  rm -f "$work/out.exe" "$work/out.zip"
  t0=$(date +%s.%N)
  "$tool" --stub "$work/stub.exe" "$work/src" -o "$work/out.exe" >/dev/null
  t1=$(date +%s.%N)
  (cd "$work/src" && zip -q -r -6 "$work/out.zip" .)
  t2=$(date +%s.%N)
  best_pack=$(python3 -c "import sys; a=$t1-$t0; print(min(a, float('${best_pack:-inf}')))")
  best_zip=$(python3 -c "import sys; a=$t2-$t1; print(min(a, float('${best_zip:-inf}')))")
done

python3 - "$best_pack" "$best_zip" "$work/out.exe" "$work/out.zip" <<'PY'
import os, sys
pack, zip_ = float(sys.argv[1]), float(sys.argv[2])
print(f"vandrel-pack: {pack:7.2f} s  {os.path.getsize(sys.argv[3]) >> 20} MiB (best of 3)")
print(f"zip -r -6:    {zip_:7.2f} s  {os.path.getsize(sys.argv[4]) >> 20} MiB (best of 3)")
print(f"ratio vandrel-pack / zip: {pack / zip_:.2f} (goal: at most 1.00)")
PY
