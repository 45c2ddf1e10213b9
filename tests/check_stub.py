#!/usr/bin/env python3
"""Static checks of a built stub: the payload scan starts at offset 20,000 and
gives up after 500,000, so the stub must lie between them, must not hold the
marker bytes from 20,000 on, and may import system DLLs only."""
import subprocess
import sys

SCAN_FIRST = 20000
SCAN_LAST = 500000
MARKER = b"[" + b"QV" + b"]"
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "shell32.dll",
    "ole32.dll", "advapi32.dll", "msvcrt.dll", "comdlg32.dll", "shlwapi.dll",
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
    dump = subprocess.run([objdump, "-p", stub], check=True, capture_output=True,
                          text=True).stdout
    dlls = sorted({line.split(":", 1)[1].strip().lower()
                   for line in dump.splitlines() if "DLL Name:" in line})
    print("imports: " + ", ".join(dlls))
    for dll in dlls:
        if dll not in SYSTEM_DLLS:
            failures.append(f"imports non-system DLL {dll}")
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
