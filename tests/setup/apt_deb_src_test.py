#!/usr/bin/env python3
"""The set-up's deb-src twins of the apt sources, for each layout a machine
may have: what it writes, and when it writes nothing."""
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = sys.argv.pop(1)

DEBIAN_SOURCES = """Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
"""

UBUNTU_SOURCES = """# Ubuntu sources have moved to /etc/apt/sources.list.d/ubuntu.sources
Types: deb
URIs: http://archive.ubuntu.com/ubuntu/
Suites: noble noble-updates
Components: main restricted universe
Signed-By: /usr/share/keyrings/ubuntu-archive-keyring.gpg

Types: deb
Enabled: no
URIs: http://archive.ubuntu.com/ubuntu/
Suites: noble-proposed
Components: main
"""

TWIN_OF_UBUNTU = """# Ubuntu sources have moved to /etc/apt/sources.list.d/ubuntu.sources
Types: deb-src
URIs: http://archive.ubuntu.com/ubuntu/
Suites: noble noble-updates
Components: main restricted universe
Signed-By: /usr/share/keyrings/ubuntu-archive-keyring.gpg

"""

# (name, files under /etc/apt, exit status, files written with their text)
CASES = [
    ("one-line", {"sources.list": "# comment\ndeb http://deb.debian.org/debian bookworm main\n"
                                  "deb [arch=amd64] http://x.example/ stable main\n"},
     0, {"vandrel-deb-src.list": "deb-src http://deb.debian.org/debian bookworm main\n"
                                 "deb-src [arch=amd64] http://x.example/ stable main\n"}),
    ("debian 12 deb822", {"sources.list.d/debian.sources": DEBIAN_SOURCES}, 0,
     {"vandrel-deb-src.sources": DEBIAN_SOURCES.replace("Types: deb\n", "Types: deb-src\n")
                                 + "\n"}),
    ("ubuntu 24.04: sources.list a comment, a disabled stanza",
     {"sources.list": "# See ubuntu.sources\n",
      "sources.list.d/ubuntu.sources": UBUNTU_SOURCES}, 0,
     {"vandrel-deb-src.sources": TWIN_OF_UBUNTU}),
    ("both formats", {"sources.list": "deb http://a.example/ x main\n",
                      "sources.list.d/extra.sources": "Types: deb\nURIs: http://b.example/\n"
                                                      "Suites: y\nComponents: main\n"}, 0,
     {"vandrel-deb-src.list": "deb-src http://a.example/ x main\n",
      "vandrel-deb-src.sources": "Types: deb-src\nURIs: http://b.example/\nSuites: y\n"
                                 "Components: main\n\n"}),
    ("deb-src already in a stanza", {"sources.list.d/d.sources": "Types: deb deb-src\n"
                                     "URIs: http://a.example/\nSuites: x\n"}, 1, {}),
    ("deb-src already in a line", {"sources.list": "deb http://a.example/ x main\n"
                                   "deb-src http://a.example/ x main\n"}, 1, {}),
    ("twins written before", {"sources.list.d/debian.sources": DEBIAN_SOURCES,
                              "sources.list.d/vandrel-deb-src.sources": "Types: deb-src\n"}, 1, {}),
    ("no deb entry", {"sources.list": "# nothing here\n"}, 2, {}),
]


class AptDebSrc(unittest.TestCase):
    def test_cases(self):
        for name, files, status, written in CASES:
            with self.subTest(name), tempfile.TemporaryDirectory() as etc, \
                    tempfile.TemporaryDirectory() as out:
                os.makedirs(os.path.join(etc, "sources.list.d"))
                for path, text in files.items():
                    with open(os.path.join(etc, path), "w") as f:
                        f.write(text)
                run = subprocess.run(["sh", SCRIPT, etc, out], capture_output=True, text=True,
                                     timeout=60)
                self.assertEqual(status, run.returncode, run.stderr)
                got = {}
                for path in os.listdir(out):
                    with open(os.path.join(out, path)) as f:
                        got[path] = f.read()
                self.assertEqual(written, got)


if __name__ == "__main__":
    unittest.main()
