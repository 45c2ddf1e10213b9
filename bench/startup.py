#!/usr/bin/env python3
"""Start-up time of a Vandrel file under Wine against do-nothing programs.

Times whole processes (median of several runs, persistent wineserver):
  - a do-nothing program importing kernel32 only,
  - a do-nothing program with the stub's DLL imports,
  - a Vandrel file that locates its payload, reads its configuration and
    ends (wizard mode, while the wizard does not exist yet),
  - a silent Vandrel file extracting an archive of one directory entry
    (this includes the 300 ms pause after the last entry).
Usage: bench/startup.py [BUILD_DIR] [RUNS]
"""
import io
import os
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
RUNS = int(sys.argv[2]) if len(sys.argv) > 2 else 30
BIN = os.path.join(BUILD, "x86_64", "bin")
ENV = dict(os.environ, VANDREL_WINEPREFIX=os.path.join(BUILD, "wine"))


def make_sfx(path, keys):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        archive.writestr("empty/", b"")
    zip_bytes = buffer.getvalue()
    block = "[QV]\n" + f"ZipSize={len(zip_bytes)}\n" + "".join(f"{k}={v}\n" for k, v in keys)
    with open(os.path.join(BIN, "vandrel-stub.exe"), "rb") as stub:
        data = stub.read()
    with open(path, "wb") as out:
        out.write(data + block.encode("ascii") + zip_bytes)


def run_seconds(program, cwd):
    start = time.perf_counter()
    subprocess.run([os.path.join(ROOT, "scripts", "wine-run.sh"), program], cwd=cwd, env=ENV,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    return time.perf_counter() - start


def imports(program):
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", program], capture_output=True,
                          text=True).stdout
    return sorted({l.split(":", 1)[1].strip().lower() for l in dump.splitlines() if "DLL Name" in l})


def main():
    for name in ("vandrel-stub.exe", "empty_stub_imports.exe"):
        print(f"imports of {name}: {', '.join(imports(os.path.join(BIN, name)))}")
    subprocess.run([os.path.join(ROOT, "scripts", "wine-start.sh")], env=ENV, check=True)
    try:
        with tempfile.TemporaryDirectory(dir=BUILD) as work:
            config_only = os.path.join(work, "config-only.exe")
            make_sfx(config_only, [("Name", "bench")])
            silent = os.path.join(work, "silent.exe")
            make_sfx(silent, [("NoGUI", "1"), ("DefaultPath", "Z:" + os.path.join(work, "out"))])
            programs = [
                ("empty program, kernel32 only", os.path.join(BIN, "empty_kernel32.exe")),
                ("empty program, stub's imports", os.path.join(BIN, "empty_stub_imports.exe")),
                ("vandrel: locate payload + read configuration", config_only),
                ("vandrel: silent, one directory entry", silent),
            ]
            # Round-robin, so that a change in the machine's load hits every
            # program alike.
            samples = {label: [] for label, _ in programs}
            for _ in range(RUNS):
                for label, program in programs:
                    samples[label].append(run_seconds(program, work))
            times = {label: statistics.median(values) for label, values in samples.items()}
            for label, _ in programs:
                print(f"{label:48s} {times[label] * 1000:8.1f} ms (median of {RUNS})")
            config = times["vandrel: locate payload + read configuration"]
            print(f"ratio vandrel start-up / empty program with same imports: "
                  f"{config / times['empty program, stub' + chr(39) + 's imports']:.3f}")
            print(f"ratio vandrel start-up / empty program, kernel32 only:     "
                  f"{config / times['empty program, kernel32 only']:.3f}")
    finally:
        subprocess.run([os.path.join(ROOT, "scripts", "wine-stop.sh")], env=ENV)


if __name__ == "__main__":
    main()
