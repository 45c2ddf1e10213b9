#!/usr/bin/env python3
"""The emulation's interpreter (scripts/i386-emulation/run.c), run directly:
what it hands qemu, and what it does where qemu is out of reach, as in a
container that reaches it through the F flag."""
import os
import subprocess
import sys
import tempfile
import unittest

RUN_C = sys.argv.pop(1)
PROBE = 'void _start(void) { __asm__ volatile("int $0x80" : : "a"(1), "b"(42)); }\n'


def build(tmp, name, qemu):
    out = os.path.join(tmp, name)
    subprocess.run(["gcc", "-static", "-O2", "-Wall", "-Wextra", "-Werror",
                    f'-DQEMU="{qemu}"', f'-DDEST="{tmp}/lib"', "-o", out, RUN_C],
                   check=True, timeout=120)
    return out


class Interpreter(unittest.TestCase):
    def test_cases(self):
        with tempfile.TemporaryDirectory() as tmp:
            # A stand-in for qemu that shows what it was given.
            qemu = os.path.join(tmp, "qemu")
            with open(qemu, "w") as f:
                f.write('#!/bin/sh\necho "$@"\nexit 3\n')
            os.chmod(qemu, 0o755)
            with open(os.path.join(tmp, "p.c"), "w") as f:
                f.write(PROBE)
            probe = os.path.join(tmp, "probe")
            subprocess.run(["gcc", "-m32", "-nostdlib", "-static", "-ffreestanding", "-fno-pie",
                            "-no-pie", "-O2", "-o", probe, os.path.join(tmp, "p.c")],
                           check=True, timeout=120)
            # Whether this kernel runs i386 code: the padded copy is what the
            # interpreter runs when qemu is out of reach.
            padded = os.path.join(tmp, "padded")
            with open(probe, "rb") as f:
                image = bytearray(f.read())
            image[15] = 1
            with open(padded, "wb") as f:
                f.write(image)
            os.chmod(padded, 0o755)
            try:
                native = subprocess.run([padded], timeout=60).returncode == 42
            except OSError:
                native = False

            with_qemu = build(tmp, "run", qemu)
            without = build(tmp, "run-alone", os.path.join(tmp, "missing", "qemu"))
            # (name, command, status, text expected in the output)
            cases = [
                ("qemu gets guest base 0, the library and the program's arguments",
                 [with_qemu, probe, "a b", "c"], 3,
                 f"-B 0 -E LD_PRELOAD={tmp}/lib/preload.so {probe} a b c"),
                ("no program", [with_qemu], 126, "started without a program"),
                ("qemu out of reach", [without, probe], 42 if native else 126,
                 "" if native else "does not run it natively"),
            ]
            for name, command, status, text in cases:
                with self.subTest(name):
                    run = subprocess.run(command, capture_output=True, text=True, timeout=60)
                    self.assertEqual(status, run.returncode, run.stderr)
                    self.assertIn(text, run.stdout + run.stderr)


if __name__ == "__main__":
    unittest.main()
