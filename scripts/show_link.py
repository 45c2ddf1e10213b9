#!/usr/bin/env python3
"""Prints the target and working directory of shell link files (.lnk), read
from the file itself, so that `make demo` can show the shortcut it wrote.

usage: show_link.py LINK...
"""
import struct
import sys

HAS_ID_LIST, HAS_LINK_INFO, IS_UNICODE = 0x1, 0x2, 0x80
# Name, relative path, working directory, arguments, icon location.
STRING_FLAGS = [(0x4, "name"), (0x8, "relative path"), (0x10, "working directory"),
                (0x20, "arguments"), (0x40, "icon")]


def ansi(data, at):
    return data[at:data.index(b"\0", at)].decode("gbk", "replace")


def read_link(data):
    if len(data) < 76 or struct.unpack_from("<I", data, 0)[0] != 76:
        raise ValueError("not a shell link")
    flags = struct.unpack_from("<I", data, 20)[0]
    at = 76
    if flags & HAS_ID_LIST:
        at += 2 + struct.unpack_from("<H", data, at)[0]
    fields = {}
    if flags & HAS_LINK_INFO:
        size, _, info_flags, _, base_at = struct.unpack_from("<5I", data, at)
        if info_flags & 1:
            fields["target"] = ansi(data, at + base_at)
        at += size
    for bit, name in STRING_FLAGS:
        if flags & bit:
            count = struct.unpack_from("<H", data, at)[0]
            at += 2
            if flags & IS_UNICODE:
                fields[name] = data[at:at + 2 * count].decode("utf-16-le").rstrip("\0")
                at += 2 * count
            else:
                fields[name] = data[at:at + count].decode("gbk", "replace").rstrip("\0")
                at += count
    return fields


def main():
    status = 0
    for path in sys.argv[1:]:
        try:
            with open(path, "rb") as f:
                fields = read_link(f.read())
        except (OSError, ValueError, struct.error) as error:
            print(f"{path}: {error}", file=sys.stderr)
            status = 1
            continue
        print(path)
        for name in ("target", "working directory", "arguments", "icon"):
            if name in fields:
                print(f"  {name}: {fields[name]}")
    return status


if __name__ == "__main__":
    sys.exit(main())
