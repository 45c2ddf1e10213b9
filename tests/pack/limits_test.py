"""vandrel-pack within limits the machine sets: an address space several
times smaller than the input, and a file-size limit that a refused input
must not come near.

usage: limits_test.py RELEASE_VANDREL_PACK HOST_VANDREL_PACK
The release builder runs under `prlimit --as`, which the host tree's tool
cannot take: AddressSanitizer reserves terabytes of address space."""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

RELEASE = None
HOST = None
TIMEOUT = 60


def stub_bytes():
    data = bytearray(b"x" * 40000)
    data[0:2] = b"MZ"
    struct.pack_into("<I", data, 0x3C, 0x80)
    data[0x80:0x84] = b"PE\0\0"
    struct.pack_into("<H", data, 0x84, 0x14C)
    struct.pack_into("<H", data, 0x84 + 18, 0x0102)
    return bytes(data)


class LimitsTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name
        self.stub = os.path.join(self.dir, "stub.exe")
        with open(self.stub, "wb") as f:
            f.write(stub_bytes())
        self.src = os.path.join(self.dir, "src")
        os.makedirs(self.src)
        with open(os.path.join(self.src, "readme.txt"), "wb") as f:
            f.write(b"read me\n" * 100)

    def tearDown(self):
        self.tmp.cleanup()

    def sparse(self, name, size):
        """A file of zeros that takes no disk and reads fast."""
        with open(os.path.join(self.src, name), "wb") as f:
            f.truncate(size)

    def run_limited(self, limit, tool, *args):
        return subprocess.run(["prlimit", limit, "--", tool, "--stub", self.stub, *args],
                              capture_output=True, timeout=TIMEOUT)

    def leftovers(self):
        return sorted(n for n in os.listdir(self.dir) if n not in ("src", "stub.exe"))

    def test_packs_an_entry_four_times_larger_than_its_address_space(self):
        limit_mib = 256
        self.sparse("big.bin", 1024 << 20)
        out = os.path.join(self.dir, "out.exe")
        result = self.run_limited("--as=%d" % (limit_mib << 20), RELEASE, "--level", "1",
                                  self.src, "-o", out)
        self.assertEqual(result.returncode, 0, result.stderr)
        info = subprocess.run(["prlimit", "--as=%d" % (limit_mib << 20), "--", RELEASE, "--info",
                               "--verify", out], capture_output=True, timeout=TIMEOUT)
        self.assertEqual(info.returncode, 0, info.stderr)
        self.assertIn(b"1073741824", info.stdout)
        self.assertEqual(self.leftovers(), ["out.exe"])

    def test_input_over_2_gib_is_refused_before_anything_is_written(self):
        # Past a file-size limit of 1 MiB the tool would end by SIGXFSZ.
        self.sparse("a.bin", 1100 << 20)
        self.sparse("b.bin", 1100 << 20)
        out = os.path.join(self.dir, "out.exe")
        result = self.run_limited("--fsize=%d" % (1 << 20), HOST, self.src, "-o", out)
        self.assertEqual(result.returncode, 2, result)
        err = result.stderr.decode()
        self.assertEqual(len(err.strip().splitlines()), 1, err)
        self.assertIn("add up to more than 2 GiB", err)
        self.assertIn("split the payload into several self-extracting files", err)
        self.assertEqual(self.leftovers(), [])


if __name__ == "__main__":
    RELEASE, HOST = sys.argv[1], sys.argv[2]
    if not os.path.exists(RELEASE):
        print("no release builder at %s: run `make build`" % RELEASE)
        sys.exit(77)
    unittest.main(argv=sys.argv[:1])
