#!/usr/bin/env python3
"""Checks the wizard's artwork as the resource script takes it: sizes, colour
depths, compression, the cursor's hot spot, run-length data that decodes to
exactly one picture, and that the drawing script still makes these bytes.
Usage: check_artwork.py ART_DIR"""
import os
import struct
import subprocess
import sys
import tempfile

BI_RGB, BI_RLE8, BI_RLE4 = 0, 1, 2


def decode_rle(data, width, height, bits):
    """Pixel count of each row, or an error text; every row must be full."""
    rows, x, i = [], 0, 0
    while i + 1 < len(data):
        count, value = data[i], data[i + 1]
        i += 2
        if count:
            x += count
            continue
        if value == 0:      # end of line
            rows.append(x)
            x = 0
        elif value == 1:    # end of bitmap
            rows.append(x)
            break
        elif value == 2:
            return "delta records are not used"
        else:               # absolute run
            size = value if bits == 8 else (value + 1) // 2
            i += size + (size % 2)
            x += value
    else:
        return "no end-of-bitmap record"
    if len(rows) != height or any(r != width for r in rows):
        return f"rows {len(rows)} of widths {sorted(set(rows))}, want {height} of {width}"
    return None


def check_bitmap(path, width, height, bits, compression, failures):
    data = open(path, "rb").read()
    if data[:2] != b"BM":
        failures.append(f"{path}: not a bitmap file")
        return
    offset = struct.unpack_from("<I", data, 10)[0]
    size, w, h, _, b, comp, image_size = struct.unpack_from("<IiiHHII", data, 14)
    got = (w, h, b, comp)
    if got != (width, height, bits, compression):
        failures.append(f"{path}: {got}, want {(width, height, bits, compression)}")
        return
    error = decode_rle(data[offset:offset + image_size], width, height, bits)
    if error:
        failures.append(f"{path}: {error}")


def check_icon_file(path, kind, width, height, bits, hot_spot, failures):
    data = open(path, "rb").read()
    reserved, file_kind, count = struct.unpack_from("<HHH", data, 0)
    if (reserved, file_kind, count) != (0, kind, 1):
        failures.append(f"{path}: kind {file_kind} with {count} images, want {kind} with 1")
        return
    w, h, _, _, a, b, size, offset = struct.unpack_from("<BBBBHHII", data, 6)
    if kind == 2 and (a, b) != hot_spot:
        failures.append(f"{path}: hot spot {(a, b)}, want {hot_spot}")
    _, iw, ih, _, ibits = struct.unpack_from("<IiiHH", data, offset)
    if (w, h, iw, ih // 2, ibits) != (width, height, width, height, bits):
        failures.append(f"{path}: {iw} x {ih // 2} at {ibits} bits, want {width} x {height} "
                        f"at {bits}")
    if offset + size != len(data):
        failures.append(f"{path}: image data does not end the file")


def main():
    art = sys.argv[1]
    failures = []
    check_bitmap(os.path.join(art, "banner.bmp"), 163, 289, 4, BI_RLE4, failures)
    check_bitmap(os.path.join(art, "logo.bmp"), 43, 42, 8, BI_RLE8, failures)
    check_icon_file(os.path.join(art, "box.ico"), 1, 32, 32, 8, None, failures)
    check_icon_file(os.path.join(art, "hand.cur"), 2, 32, 32, 1, (6, 2), failures)
    with tempfile.TemporaryDirectory() as fresh:
        subprocess.run([sys.executable, os.path.join(art, "draw_artwork.py"), fresh], check=True)
        for name in sorted(os.listdir(fresh)):
            if open(os.path.join(fresh, name), "rb").read() != \
                    open(os.path.join(art, name), "rb").read():
                failures.append(f"{name}: the script draws something else than the file "
                                "committed; run it again")
    total = sum(os.path.getsize(os.path.join(art, n))
                for n in ("banner.bmp", "logo.bmp", "box.ico", "hand.cur"))
    print(f"artwork: {total} bytes")
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
