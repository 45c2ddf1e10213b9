#!/usr/bin/env python3
"""Writes a small seed corpus for each fuzz target into DIR/<target>/, in the
input layout each body of fuzz_bodies.cpp reads."""
import io
import os
import sys
import zipfile

out = sys.argv[1]


def write(target, name, data):
    folder = os.path.join(out, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as handle:
        handle.write(data)


def gbk(text):
    return text.encode("gbk")


# Payload scan: mode, then up to three pieces (anchor, signed shift, bytes, 0).
block = b"[QV]\nZipSize=30\nNoGUI=1\n"
write("payload_scan", "plain", b"\x00" + b"\x00\x00" + block + b"\x00" + b"\x00\x40PK\x03\x04\x00")
write("payload_scan", "limits", b"\x00" + b"\x03\x00" + block + b"\x00" + b"\x07\x00PK\x03\x04\x00")
write("payload_scan", "block_edge", b"\x09" + b"\x01\x01[QV]\x00" + b"\x01\x08PK\x03\x04\x00")
write("payload_scan", "failing", b"\x10" + b"\x00\x00[QV]\x00" + b"\x06\x00PK\x03\x04\x00")

# Text: start/count, capacity, text, 0, needle, 0, replacement.
for i, (text, needle, new) in enumerate([
        (b"C:\\Program Files\\X\\", b"\\", b"/"),
        (b"a\\\\b\\", b"\\", b"\\\\"),
        (b"\\\\server\\share\\\\x", b"\\\\", b"\\"),
        (gbk("一等奬\\乗\\") + b"\\\\x", b"\\", b"$"),
        (b"$desktop$\\App|$targetdir$\\a.exe|", b"|", b"%")]):
    write("text", f"seed{i}", bytes([i * 3, 200]) + text + b"\0" + needle + b"\0" + new)

# Folder paths: shape, three folder lengths, [extra folder text, 0], path.
for i, path in enumerate([b"$desktop$\\App\\Data", b"D:\\a\\$desktop$\\b", b"$temp$",
                          b"%targetdir%\\" + gbk("奬狀") + b"\\x", b"$$$\\$", b"x" * 250]):
    write("folder_path", f"seed{i}", bytes([i, 40, 200, 30]) + path)
write("folder_path", "long", bytes([15, 255, 255, 255]) + b"\\\\\0" + b"$desktop$\\" * 30)

# Shortcut values: two folder lengths, the value.
for i, value in enumerate([b"$desktop$\\App.lnk|$targetdir$\\app.exe|",
                           b"|lead|", b"a||b|", gbk("$startmenu$\\乗|$targetdir$\\奬.exe|"),
                           b"x" * 1100 + b"|"]):
    write("shortcut_split", f"seed{i}", bytes([30, 100]) + value)

# Entry names.
for i, name in enumerate([b"docs/a.txt", b"docs/", b"..\\x", b"a/../../b", b"C:x",
                          gbk("一等奬.txt"), gbk("奬狀/a.txt"), b"/abs", b"a/./b"]):
    write("entry_name", f"seed{i}", name)

# Archives: a shift of the end shown to the reader, then the archive.
def archive(files, **options):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", **options) as z:
        for name, data, method in files:
            z.writestr(zipfile.ZipInfo(name) if isinstance(name, str) else name, data,
                       compress_type=method)
    return buffer.getvalue()


class Unseekable(io.RawIOBase):
    """zipfile writes data descriptors (flag bit 3) to a stream it cannot seek."""
    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.data += b
        return len(b)


files = [("a.txt", b"hello " * 50, zipfile.ZIP_DEFLATED), ("dir/", b"", zipfile.ZIP_STORED),
         ("dir/b.bin", bytes(range(256)) * 4, zipfile.ZIP_STORED)]
write("zip_reader", "deflated", b"\0" + archive(files))
write("zip_reader", "empty", b"\0" + archive([]))
stream = Unseekable()
with zipfile.ZipFile(stream, "w") as z:
    z.writestr("streamed.txt", b"data descriptor " * 20, compress_type=zipfile.ZIP_DEFLATED)
write("zip_reader", "descriptor", b"\0" + bytes(stream.data))
buffer = io.BytesIO()
with zipfile.ZipFile(buffer, "w") as z:
    with z.open("big.txt", "w", force_zip64=True) as entry:
        entry.write(b"zip64 " * 30)
    z.comment = b"comment"
write("zip_reader", "zip64", b"\0" + buffer.getvalue())
write("zip_reader", "shifted", b"\xe0" + archive(files[:1]))
