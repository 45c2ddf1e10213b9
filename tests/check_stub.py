#!/usr/bin/env python3
"""Static checks of a built stub: the payload scan starts at offset 20,000 and
gives up after 500,000, so the stub must lie between them, must not hold the
marker bytes from 20,000 on, and may load system DLLs only: at start only
KnownDLLs that every process has (kernel32, msvcrt), everything else on
first use. Every delay-load slot must start out at the code that loads its
DLL on the first call."""
import re
import struct
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

IMAGE_SCN_MEM_EXECUTE = 0x20000000
JMP_OPCODES = (0xE9, 0xEB)


def pe_layout(data):
    """(pe32plus, image base, size of image, sections), each section
    (rva, file offset, raw size, executable)."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    count, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    pe32plus = struct.unpack_from("<H", data, optional)[0] == 0x20B
    base = struct.unpack_from("<Q" if pe32plus else "<I", data,
                              optional + (24 if pe32plus else 28))[0]
    image_size = struct.unpack_from("<I", data, optional + 56)[0]
    sections = []
    for n in range(count):
        vsize, rva, raw_size, raw, flags = struct.unpack_from(
            "<8xIIII12xI", data, optional + optional_size + 40 * n)
        sections.append((rva, raw, min(raw_size, vsize), bool(flags & IMAGE_SCN_MEM_EXECUTE)))
    return pe32plus, base, image_size, sections


def read_rva(data, sections, rva, size):
    for first, raw, raw_size, _ in sections:
        if first <= rva < first + raw_size:
            return data[raw + rva - first:raw + min(rva - first + size, raw_size)]
    return b""


def c_string(data, sections, rva):
    return read_rva(data, sections, rva, 64).split(b"\0")[0].decode("ascii", "replace")


def is_code(sections, rva):
    return any(first <= rva < first + raw_size and executable
               for first, _, raw_size, executable in sections)


def delay_descriptors(data, sections, image_size):
    """The delay-load descriptors as (DLL name, IAT RVA, INT RVA). The
    MinGW linker leaves the directory entry empty, so they are found in the
    sections: attributes 1 (relative addresses), then RVAs of a DLL name,
    the module handle and the two tables."""
    found = []
    for _, raw, raw_size, _ in sections:
        for at in range(raw, raw + raw_size - 31, 4):
            if data[at:at + 4] != b"\1\0\0\0":
                continue
            name, handle, iat, names = struct.unpack_from("<4I", data, at + 4)
            if not all(0 < rva < image_size for rva in (name, handle, iat, names)):
                continue
            dll = c_string(data, sections, name).lower()
            if re.fullmatch(r"[a-z0-9_.-]+\.dll", dll):
                found.append((dll, iat, names))
    return found


def starts_delay_load(data, layout, slot_va, target):
    """Whether `target` is a lazy-load stub for `slot_va`: it loads the
    slot's address (i686 `mov eax, slot`; x86_64 `lea rax, [rip+slot]`),
    then jumps to the DLL's common loading code."""
    pe32plus, base, _, sections = layout
    rva = target - base
    if not is_code(sections, rva):
        return False
    code = read_rva(data, sections, rva, 8)
    if pe32plus:
        return (len(code) == 8 and code[:3] == b"\x48\x8d\x05" and code[7] in JMP_OPCODES
                and target + 7 + struct.unpack_from("<i", code, 3)[0] == slot_va)
    return (len(code) >= 6 and code[0] == 0xB8 and code[5] in JMP_OPCODES
            and struct.unpack_from("<I", code, 1)[0] == slot_va)


def check_delay_slots(data):
    """One failure for each delay-loaded DLL with slots that would not load
    it: a call through such a slot jumps to whatever it holds."""
    layout = pe_layout(data)
    pe32plus, base, image_size, sections = layout
    width, form = (8, "<Q") if pe32plus else (4, "<I")

    def word(rva):
        raw = read_rva(data, sections, rva, width)
        return struct.unpack(form, raw)[0] if len(raw) == width else 0

    failures = []
    descriptors = delay_descriptors(data, sections, image_size)
    if "user32.dll" not in {dll for dll, _, _ in descriptors}:
        failures.append("no delay-load descriptor for user32.dll")
    for dll, iat, names in descriptors:
        bad = []
        slot = 0
        while word(names + width * slot):
            slot_va = base + iat + width * slot
            target = word(iat + width * slot)
            if not starts_delay_load(data, layout, slot_va, target):
                function = c_string(data, sections, word(names + width * slot) + 2)
                bad.append(f"{function} at {slot_va:#x} holds {target:#x}")
            slot += 1
        print(f"delay-loaded: {dll}, {slot} slots")
        if bad:
            failures.append(f"{dll}: {len(bad)} of {slot} slots do not start its load"
                            f" (first: {bad[0]})")
    return failures


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
    failures += check_delay_slots(data)
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
