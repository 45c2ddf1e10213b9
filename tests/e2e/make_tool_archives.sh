#!/bin/sh
# Archives made by other tools, for the end-to-end tests to append unchanged:
#   tree/                the ASCII source tree (fixed even-second times)
#   tree-utf8/           one more file with a Chinese path, for zipfile only
#   debian-zip.zip       Debian's zip -r of tree/
#   python-zipfile.zip   Python's zipfile of tree/ and tree-utf8/ (UTF-8 flag)
#   debian-zip64.zip     Debian's zip -r -fz of tree/: ZIP64 records in a small
#                        archive
#   zip64-huge.zip       a small entry, then one whose ZIP64 field claims
#                        5 GiB: it needs 64-bit sizes
#   zip-adjusted.exe     stub, block and debian-zip.zip, offsets fixed by zip -A;
#                        silent, DefaultPath "out" below the working directory
#   signed.exe           stub, block and debian-zip.zip, signed by osslsigncode
#                        with a throw-away certificate; same block
# Usage: make_tool_archives.sh OUT_DIR STUB_EXE
set -eu
out=$1
stub=$2
# Both tools store local time; the tests read it back in this zone.
export TZ=Asia/Shanghai
export LC_ALL=C.UTF-8

rm -rf "$out"
mkdir -p "$out/tree/docs/deep/nested" "$out/tree/bin" "$out/tree/empty-dir" \
         "$out/tree-utf8/中文目录"

python3 - "$out" <<'PY'
import random, sys
out = sys.argv[1]
rng = random.Random(5)
words = ["alpha", "beta", "gamma", "delta", "extract", "archive", "folder", "entry"]
text = "".join(" ".join(rng.choice(words) for _ in range(10)) + "\n" for _ in range(3000))
files = {
    "tree/readme.txt": b"Read me first.\r\n",
    "tree/empty.txt": b"",
    "tree/docs/guide.txt": text.encode(),
    "tree/docs/deep/nested/leaf.txt": b"leaf\n" * 13107,  # 65,535 bytes
    "tree/bin/random.bin": bytes(rng.getrandbits(8) for _ in range(65536)),
    "tree-utf8/中文目录/说明.txt": "中文说明\n".encode("utf-8") * 100,
}
for name, data in files.items():
    with open(f"{out}/{name}", "wb") as f:
        f.write(data)
PY

# Even seconds: DOS times keep two-second steps.
find "$out/tree" "$out/tree-utf8" -type f | while read -r f; do
    touch -d "2021-06-15 10:20:30" "$f"
done
touch -d "2019-12-31 23:59:58" "$out/tree/docs/guide.txt"
touch -d "1999-02-03 04:05:06" "$out/tree/bin/random.bin"

(cd "$out/tree" && zip -q -r "$out/debian-zip.zip" .)
(cd "$out/tree" && zip -q -r -fz "$out/debian-zip64.zip" .)
# Without the ZIP64 end record and locator the case would test nothing new.
python3 - "$out/debian-zip64.zip" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
assert b"PK\x06\x06" in data and b"PK\x06\x07" in data, "zip -fz wrote no ZIP64 records"
PY

python3 - "$out/zip64-huge.zip" <<'PY'
import struct, sys, zlib
def entry(name, data, claimed=None):
    packed = zlib.compress(data)[2:-4]
    crc = zlib.crc32(data)
    size = len(data)
    if claimed is None:
        local = struct.pack("<IHHHHHIIIHH", 0x04034b50, 20, 0, 8, 0, 0x5A87, crc, len(packed),
                            size, len(name), 0) + name
        central_extra = b""
        sizes = (len(packed), size)
    else:
        extra = struct.pack("<HHQQ", 1, 16, claimed, len(packed))
        local = struct.pack("<IHHHHHIIIHH", 0x04034b50, 45, 0, 8, 0, 0x5A87, crc, 0xFFFFFFFF,
                            0xFFFFFFFF, len(name), len(extra)) + name + extra
        central_extra = extra
        sizes = (0xFFFFFFFF, 0xFFFFFFFF)
    return local + packed, crc, sizes, central_extra
out = b""
central = b""
for name, data, claimed in ((b"a.txt", b"small", None), (b"huge.bin", b"x" * 100, 5 << 30)):
    offset = len(out)
    body, crc, (csize, usize), extra = entry(name, data, claimed)
    out += body
    central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014b50, 45, 45, 0, 8, 0, 0x5A87, crc,
                           csize, usize, len(name), len(extra), 0, 0, 0, 0, offset) + name + extra
start = len(out)
out += central + struct.pack("<IHHHHIIH", 0x06054b50, 0, 0, 2, 2, len(central), start, 0)
open(sys.argv[1], "wb").write(out)
PY

python3 - "$out" <<'PY'
import os, sys, zipfile
out = sys.argv[1]
with zipfile.ZipFile(f"{out}/python-zipfile.zip", "w", zipfile.ZIP_DEFLATED) as z:
    for root in ("tree", "tree-utf8"):
        base = f"{out}/{root}"
        for folder, dirs, files in sorted(os.walk(base)):
            dirs.sort()
            rel = os.path.relpath(folder, base)
            if rel != ".":
                z.write(folder, rel + "/")
            for name in sorted(files):
                z.write(os.path.join(folder, name), os.path.join(rel, name) if rel != "." else name)
with zipfile.ZipFile(f"{out}/python-zipfile.zip") as z:
    flagged = [i.filename for i in z.infolist() if i.flag_bits & 0x800]
    assert flagged, "zipfile set no UTF-8 flag"
PY

zip_size=$(stat -c %s "$out/debian-zip.zip")
{
    cat "$stub"
    printf '[QV]\nZipSize=%s\nNoGUI=1\nDefaultPath=out\n' "$zip_size"
    cat "$out/debian-zip.zip"
} > "$out/zip-adjusted.exe"
cp "$out/zip-adjusted.exe" "$out/unadjusted.tmp"
zip -q -A "$out/zip-adjusted.exe"
# Without changed offsets the case would test nothing new.
if cmp -s "$out/zip-adjusted.exe" "$out/unadjusted.tmp"; then
    echo "zip -A changed nothing" >&2
    exit 1
fi
rm -f "$out/unadjusted.tmp"

# The certificate table goes after the archive, where ZipSize keeps the stub
# from looking.
{
    cat "$stub"
    printf '[QV]\nZipSize=%s\nNoGUI=1\nDefaultPath=out\n' "$zip_size"
    cat "$out/debian-zip.zip"
} > "$out/unsigned.tmp"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Vandrel test" \
    -keyout "$out/key.pem" -out "$out/cert.pem" 2>/dev/null
osslsigncode sign -certs "$out/cert.pem" -key "$out/key.pem" -n "Vandrel test" \
    -in "$out/unsigned.tmp" -out "$out/signed.exe" >/dev/null
osslsigncode verify -CAfile "$out/cert.pem" -in "$out/signed.exe" >/dev/null
rm -f "$out/unsigned.tmp" "$out/key.pem"
echo "tool archives in $out"
