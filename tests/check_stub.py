#!/usr/bin/env python3
"""Static checks of a built stub: the payload scan starts at offset 20,000 and
gives up after 500,000, so the stub must lie between them, must not hold the
marker bytes from 20,000 on, and may load system DLLs only: at start only
KnownDLLs that every process has (kernel32, msvcrt), everything else on
first use."""
import re
import subprocess
import sys

SCAN_FIRST = 20000
SCAN_LAST = 500000
MARKER = b"[" + b"QV" + b"]"
# Imported when the process starts.
STATIC_IMPORTS = {"kernel32.dll", "msvcrt.dll"}
# Every DLL name the stub holds: loaded on first use from the system folder.
# libgcc's start-up code only asks whether its own DLL is already loaded.
NAMED_DLLS = STATIC_IMPORTS | {
    "user32.dll", "gdi32.dll", "shell32.dll", "advapi32.dll", "ole32.dll", "comctl32.dll",
    "libgcc_s_dw2-1.dll",
}


def main():
    stub, objdump = sys.argv[1], sys.argv[2]
    data = open(stub, "rb").read()
    failures = []
    print(f"stub size: {len(data)} bytes ({stub})")
    if not SCAN_FIRST < len(data) < SCAN_LAST:
        failures.append(f"size {len(data)} is outside ({SCAN_FIRST}, {SCAN_LAST})")
    at = data.find(MARKER, SCAN_FIRST)
    if at >= 0:
        failures.append(f"marker bytes found at offset {at}")
    # The C++ runtime's terminate handler and demangler would add some
    # 100 KB to every archive: the stub is built without them.
    if b"terminate called" in data:
        failures.append("holds the C++ runtime's terminate handler")
    dump = subprocess.run([objdump, "-p", stub], check=True, capture_output=True,
                          text=True).stdout
    dlls = sorted({line.split(":", 1)[1].strip().lower()
                   for line in dump.splitlines() if "DLL Name:" in line})
    print("imports: " + ", ".join(dlls))
    for dll in dlls:
        if dll not in STATIC_IMPORTS:
            failures.append(f"imports {dll} at start")
    named = sorted({m.group(0).decode("ascii").lower()
                    for m in re.finditer(rb"[A-Za-z0-9_.-]+\.dll", data)} |
                   {m.group(0).decode("utf-16-le").lower()
                    for m in re.finditer(rb"(?:[A-Za-z0-9_.-]\x00)+\.\x00d\x00l\x00l\x00", data)})
    print("DLL names: " + ", ".join(named))
    for dll in named:
        if dll not in NAMED_DLLS:
            failures.append(f"names DLL {dll}")
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
