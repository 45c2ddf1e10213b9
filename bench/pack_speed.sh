#!/bin/sh
# Packing speed of vandrel-pack against Debian's `zip -r -6` on the same
# folder of mixed files (text, binary, incompressible, many small files).
# Usage: bench/pack_speed.sh [VANDREL_PACK] [SIZE_MIB]
# VANDREL_PACK defaults to build/host/bin/vandrel-pack; SIZE_MIB to 300.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
tool=${1:-$here/build/host/bin/vandrel-pack}
size_mib=${2:-300}
[ -x "$tool" ] || { echo "no vandrel-pack at $tool" >&2; exit 1; }
command -v zip >/dev/null || { echo "zip is not installed" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

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

head -c 40000 /dev/zero | tr '\0' 'x' > "$work/stub.exe"
echo "source: $(du -sm "$work/src" | cut -f1) MiB in $(find "$work/src" -type f | wc -l) files"

now() { date +%s.%N; }
t0=$(now)
"$tool" --stub "$work/stub.exe" "$work/src" -o "$work/out.exe" >/dev/null
t1=$(now)
(cd "$work/src" && zip -q -r -6 "$work/out.zip" .)
t2=$(now)

python3 - "$t0" "$t1" "$t2" "$work/out.exe" "$work/out.zip" <<'PY'
import os, sys
t0, t1, t2 = map(float, sys.argv[1:4])
pack, zip_ = t1 - t0, t2 - t1
print(f"vandrel-pack: {pack:7.2f} s  {os.path.getsize(sys.argv[4]) >> 20} MiB")
print(f"zip -r -6:    {zip_:7.2f} s  {os.path.getsize(sys.argv[5]) >> 20} MiB")
print(f"ratio vandrel-pack / zip: {pack / zip_:.2f} (goal: at most 1.00)")
PY
