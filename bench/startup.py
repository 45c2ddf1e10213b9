#!/usr/bin/env python3
"""Start-up time of a Vandrel file under Wine against do-nothing programs.

Times whole processes (median of several runs, persistent wineserver):
  - a do-nothing program importing kernel32 only,
  - a do-nothing program with the stub's DLL imports,
  - a Vandrel file in wizard mode, from its start to the welcome page shown
    (timed inside Wine by bench/wizard_startup.exe, against the do-nothing
    program with the stub's imports timed the same way),
  - a silent Vandrel file extracting an archive of one directory entry
    (this includes the 300 ms pause after the last entry).
Both stubs are measured in the same run, each against do-nothing programs of
its own kind: i686 (the release, under 32-bit Wine in the WoW64 prefix) and
x86_64 (under wine64). Where 32-bit programs run under qemu-i386 the i686
column says "emulated".
Usage: bench/startup.py [BUILD_DIR] [RUNS] [KIND ...]
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
KINDS = sys.argv[3:] or ["i686", "x86_64"]
ENV = dict(os.environ, VANDREL_WINEPREFIX=os.path.join(BUILD, "wine"))


def make_sfx(path, stub_path, keys):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        archive.writestr("empty/", b"")
    zip_bytes = buffer.getvalue()
    block = "[QV]\n" + f"ZipSize={len(zip_bytes)}\n" + "".join(f"{k}={v}\n" for k, v in keys)
    with open(stub_path, "rb") as stub:
        data = stub.read()
    with open(path, "wb") as out:
        out.write(data + block.encode("ascii") + zip_bytes)


def run_seconds(program, cwd):
    start = time.perf_counter()
    subprocess.run([os.path.join(ROOT, "scripts", "wine-run.sh"), program], cwd=cwd, env=ENV,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    return time.perf_counter() - start


def imports(program):
    dump = subprocess.run(["objdump", "-p", program], capture_output=True,
                          text=True).stdout
    return sorted({l.split(":", 1)[1].strip().lower() for l in dump.splitlines() if "DLL Name" in l})


def kind_label(kind):
    """The kind as its column is headed: figures of 32-bit programs under
    qemu-i386 are not comparable with native ones."""
    if kind != "i686":
        return kind
    mode = subprocess.run(["sh", "-c", '. "$0"; i386_mode',
                           os.path.join(ROOT, "scripts", "wine-env.sh")], env=ENV,
                          capture_output=True, text=True).stdout.strip()
    return kind if mode == "native" else kind + " (emulated)"


def measure(kind, work):
    bin_dir = os.path.join(BUILD, kind, "bin")
    stub = os.path.join(bin_dir, "vandrel-stub.exe")
    for name in ("vandrel-stub.exe", "empty_stub_imports.exe"):
        print(f"{kind}: imports of {name}: {', '.join(imports(os.path.join(bin_dir, name)))}")
    wizard = os.path.join(work, f"wizard-{kind}.exe")
    make_sfx(wizard, stub, [("Name", "bench")])
    silent = os.path.join(work, f"silent-{kind}.exe")
    make_sfx(silent, stub, [("NoGUI", "1"), ("DefaultPath", "Z:" + os.path.join(work, "out"))])
    programs = [
        ("empty program, kernel32 only", os.path.join(bin_dir, "empty_kernel32.exe")),
        ("empty program, stub's imports", os.path.join(bin_dir, "empty_stub_imports.exe")),
        ("vandrel: silent, one directory entry", silent),
    ]
    # Round-robin, so that a change in the machine's load hits every
    # program alike.
    samples = {label: [] for label, _ in programs}
    for _ in range(RUNS):
        for label, program in programs:
            samples[label].append(run_seconds(program, work))
    times = {label: statistics.median(values) for label, values in samples.items()}
    timed = subprocess.run([os.path.join(ROOT, "scripts", "wine-run.sh"),
                            os.path.join(bin_dir, "wizard_startup.exe"), "Z:" + wizard,
                            "Z:" + os.path.join(bin_dir, "empty_stub_imports.exe"), str(RUNS)],
                           cwd=work, env=ENV, capture_output=True, text=True, timeout=600)
    print(f"{kind}: " + timed.stdout.strip().replace("\n", f"\n{kind}: "))
    return times


def main():
    subprocess.run([os.path.join(ROOT, "scripts", "wine-start.sh")], env=ENV, check=True)
    try:
        results = {}
        with tempfile.TemporaryDirectory(dir=BUILD) as work:
            for kind in KINDS:
                results[kind_label(kind)] = measure(kind, work)
        if not results:
            return
        labels = list(next(iter(results.values())))
        print(f"{'median of ' + str(RUNS) + ' runs':48s}" +
              "".join(f"{kind:>16s}" for kind in results))
        for label in labels:
            print(f"{label:48s}" + "".join(f"{results[k][label] * 1000:13.1f} ms" for k in results))
        kernel = "empty program, kernel32 only"
        # The worker's fixed 300 ms pause after the last entry taken out: what
        # is left is start-up, configuration and the extraction of one entry.
        silent = "vandrel: silent, one directory entry"
        print(f"{'ratio silent run - 300 ms / empty, kernel32 only':48s}" +
              "".join(f"{(results[k][silent] - 0.3) / results[k][kernel]:16.3f}" for k in results))
    finally:
        subprocess.run([os.path.join(ROOT, "scripts", "wine-stop.sh")], env=ENV)


if __name__ == "__main__":
    main()
