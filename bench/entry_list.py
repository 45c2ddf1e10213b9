"""Writes the entries of a self-extracting file's archive for bench/bare_extract.cpp.

usage: entry_list.py SFX.exe LIST

One line per entry, names with backslashes in code page 936:
  D NAME                 a directory
  F SIZE DOSTIME NAME    a file, its size and DOS date-time in hex
"""
import io
import re
import sys
import zipfile

data = open(sys.argv[1], "rb").read()
size = int(re.search(rb"\nZipSize=(\d+)\n", data).group(1))
with open(sys.argv[2], "w", encoding="gbk") as out:
    for i in zipfile.ZipFile(io.BytesIO(data[-size:])).infolist():
        name = i.filename.replace("/", "\\")
        if name.endswith("\\"):
            out.write("D %s\n" % name.rstrip("\\"))
            continue
        y, mo, d, h, mi, s = i.date_time
        dos = (y - 1980) << 25 | mo << 21 | d << 16 | h << 11 | mi << 5 | s // 2
        out.write("F %d %x %s\n" % (i.file_size, dos, name))
