"""Command-line tests of vandrel-pack: round trips, interoperability with
Debian's zip/unzip and Python's zipfile, and refusals that leave no output."""
import os
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import xml.etree.ElementTree as ElementTree
import zipfile
import zlib

TOOL = None
TIMEOUT = 120
FILES = {
    "readme.txt": b"read me\n" * 50,
    "empty.dat": b"",
    "full64k.bin": bytes((i * 7919 + (i >> 8)) & 0xFF for i in range(65536)),
    "deep/er/still/leaf.txt": b"leaf " * 1000,
    "\u4e2d\u6587/\u6587\u4ef6.txt": "\u4f60\u597d".encode("utf-8") * 100,
    "noise.bin": os.urandom(20000),
}
STAMP = 1600000000  # fixed modification time: reproducible archives


def run(*args, cwd=None):
    return subprocess.run([TOOL, *args], capture_output=True, timeout=TIMEOUT, cwd=cwd)


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def pe_bytes(size, machine=0x14C, characteristics=0x0102):
    """A stand-in stub: MZ and PE headers, then filler without marker bytes."""
    data = bytearray(b"x" * size)
    data[0:2] = b"MZ"
    struct.pack_into("<I", data, 0x3C, 0x80)
    data[0x80:0x84] = b"PE\0\0"
    struct.pack_into("<H", data, 0x84, machine)
    struct.pack_into("<H", data, 0x84 + 18, characteristics)
    return bytes(data)


def make_tree(root):
    for name, data in FILES.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    for folder, dirs, files in os.walk(root):
        for n in dirs + files:
            os.utime(os.path.join(folder, n), (STAMP, STAMP))


def built_stub(tree):
    """The stub of a Windows tree beside the host tree."""
    return os.path.normpath(os.path.join(os.path.dirname(TOOL), "..", "..", tree, "bin",
                                         "vandrel-stub.exe"))


ASM3 = "{urn:schemas-microsoft-com:asm.v3}"


def manifest_level(packed, stub):
    """The level in the packed file's manifest, read by Python's XML parser,
    once its copy of the stub is seen to differ only inside the manifest."""
    start = stub.index(b"<?xml")
    end = stub.index(b"</assembly>", start) + len(b"</assembly>")
    changed = [i for i in range(len(stub)) if packed[i] != stub[i]]
    assert all(start <= i < end for i in changed), changed[:5]
    root = ElementTree.fromstring(packed[start:end])
    level = root.find(ASM3 + "trustInfo/" + ASM3 + "security/" + ASM3 + "requestedPrivileges/" +
                      ASM3 + "requestedExecutionLevel")
    assert level.get("uiAccess") == "false", level.attrib
    return level.get("level")


def info_field(text, label):
    for line in text.splitlines():
        if line.startswith(label):
            return line[len(label):].strip()
    raise AssertionError(label + " missing in:\n" + text)


class PackTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name
        self.src = os.path.join(self.dir, "src")
        make_tree(self.src)
        self.stub = self.write_stub(40000)

    def tearDown(self):
        self.tmp.cleanup()

    def write_stub(self, size, name="stub.exe", data=None):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(pe_bytes(size) if data is None else data)
        return path

    def pack(self, *extra, out="out.exe", stub=None):
        out_path = os.path.join(self.dir, out)
        result = run("--stub", stub or self.stub, *extra, self.src, "-o", out_path)
        return result, out_path

    def strip_archive(self, exe):
        info = run("--info", exe)
        self.assertEqual(info.returncode, 0, info.stderr)
        offset = int(info_field(info.stdout.decode(), "archive offset:"))
        with open(exe, "rb") as f:
            data = f.read()[offset:]
        path = exe + ".zip"
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_round_trip_lists_and_verifies_every_entry(self):
        for level in ("0", "6", "9"):
            result, out = self.pack("--level", level, "--name", "\u6d4b\u8bd5\u5305",
                                    "--intro", "\u7b2c\u4e00\u884c\n\u7b2c\u4e8c\u884c",
                                    out="lvl%s.exe" % level)
            self.assertEqual(result.returncode, 0, result.stderr)
            info = run("--info", "--verify", out)
            self.assertEqual(info.returncode, 0, info.stderr)
            text = info.stdout.decode()
            self.assertIn("Name=\u6d4b\u8bd5\u5305", text)
            self.assertIn("Intro=\u7b2c\u4e00\u884c\\n\u7b2c\u4e8c\u884c", text)
            self.assertIn("verified:", text)
            self.assertEqual(info_field(text, "stub size:"), "40000")
            self.assertEqual(int(info_field(text, "entries:")), len(FILES) + 4)  # and 4 folders
            self.assertEqual(int(info_field(text, "ZipSize:")),
                             os.path.getsize(out) - int(info_field(text, "archive offset:")))
            methods = {line.split()[-1]: line.split()[0] for line in text.splitlines()
                       if line.startswith("  ") and "=" not in line}
            self.assertEqual(methods["readme.txt"], "stored" if level == "0" else "deflate")
            self.assertEqual(methods["noise.bin"], "stored")

    def test_same_inputs_give_the_same_bytes(self):
        _, first = self.pack("--name", "a", out="one.exe")
        _, second = self.pack("--name", "a", out="two.exe")
        with open(first, "rb") as a, open(second, "rb") as b:
            self.assertEqual(a.read(), b.read())

    def test_config_file_keys_merge_and_options_win(self):
        ini = os.path.join(self.dir, "extra.ini")
        with open(ini, "w", encoding="utf-8") as f:
            f.write("[QV]\nName=from file\nURL=\u4f5c\u8005\nShortcut0=a.lnk|a.exe|\n")
        result, out = self.pack("--config", ini, "--name", "from option", "--no-gui")
        self.assertEqual(result.returncode, 0, result.stderr)
        text = run("--info", out).stdout.decode()
        keys = [l.strip() for l in text.splitlines() if "=" in l]
        self.assertEqual(keys[1:], ["Name=from option", "URL=\u4f5c\u8005", "NoGUI=1",
                                    "Shortcut0=a.lnk|a.exe|"])

    def test_archives_read_back_identically_by_unzip_and_zipfile(self):
        result, out = self.pack()
        self.assertEqual(result.returncode, 0, result.stderr)
        ours = self.strip_archive(out)
        by_zip = os.path.join(self.dir, "by_zip.zip")
        subprocess.run(["zip", "-q", "-r", "-6", by_zip, "."], cwd=self.src, check=True,
                       timeout=TIMEOUT)
        by_python = os.path.join(self.dir, "by_python.zip")
        with zipfile.ZipFile(by_python, "w", zipfile.ZIP_DEFLATED) as z:
            for folder, dirs, files in os.walk(self.src):
                for n in sorted(dirs + files):
                    z.write(os.path.join(folder, n),
                            os.path.relpath(os.path.join(folder, n), self.src))
        contents = []
        # Names without the UTF-8 flag: ours in code page 936, zip's raw UTF-8.
        legacy = {ours: "gbk", by_zip: "utf-8", by_python: None}
        for archive in (ours, by_zip, by_python):
            test = subprocess.run(["unzip", "-t", archive], capture_output=True, timeout=TIMEOUT)
            self.assertEqual(test.returncode, 0, test.stdout)
            self.assertIn(b"No errors detected", test.stdout)
            files = {}
            with zipfile.ZipFile(archive) as z:
                for item in z.infolist():
                    name = item.filename
                    if legacy[archive] and not item.flag_bits & 0x800:
                        name = name.encode("cp437").decode(legacy[archive])
                    files[name.rstrip("/")] = z.read(item)
            contents.append(files)
        self.assertEqual(contents[0], contents[1])
        self.assertEqual(contents[0], contents[2])

        # Archives of other tools, appended unchanged, read as the stub reads them.
        for archive in (by_zip, by_python):
            with open(archive, "rb") as f:
                data = f.read()
            exe = archive + ".exe"
            with open(exe, "wb") as f:
                f.write(b"x" * 40000 + b"[QV]\nZipSize=%d\n" % len(data) + data)
            info = run("--info", "--verify", exe)
            self.assertEqual(info.returncode, 0, info.stderr)

    def test_refusals_name_the_problem_and_leave_no_output(self):
        big_stub = self.write_stub(499000, "big.exe")
        small_stub = self.write_stub(19999, "small.exe")
        many = []
        for i in range(1300):
            many += ["--shortcut", "l%d|" % i + "t" * 250 + "|"]
        cases = [
            ("character outside code page 936", ["--name", "smile \U0001F600"], None, "Name:"),
            ("stub too small", [], small_stub, "larger than 20000"),
            ("block past the scan limit", many, big_stub, "scan limit"),
            ("value too long", ["--url", "u" * 128], None, "at most 127"),
            ("shortcut without bars", ["--shortcut", "a.lnk"], None, "both bars"),
            ("missing stub", [], os.path.join(self.dir, "nostub.exe"), "nostub.exe"),
            ("level for a stub without a manifest", ["--elevation", "admin"], None,
             "has no application manifest to hold --elevation admin"),
            ("unknown level", ["--elevation", "root"], None, "takes admin, user or auto"),
        ]
        for what, extra, stub, message in cases:
            with self.subTest(what):
                result, out = self.pack(*extra, stub=stub, out="refused.exe")
                self.assertNotEqual(result.returncode, 0)
                err = result.stderr.decode()
                self.assertEqual(len(err.strip().splitlines()), 1, err)
                self.assertIn(message, err)
                self.assertFalse(os.path.exists(out))
        # A missing source directory.
        missing = run("--stub", self.stub, os.path.join(self.dir, "nowhere"), "-o",
                      os.path.join(self.dir, "x.exe"))
        self.assertNotEqual(missing.returncode, 0)
        self.assertIn("source directory not found", missing.stderr.decode())
        # Unwritable outputs: a missing folder, and a name taken by a folder.
        os.makedirs(os.path.join(self.dir, "taken.exe"))
        missing_dir = os.path.join(self.dir, "no", "dir")
        for target, message in ((os.path.join(missing_dir, "x.exe"),
                                 "cannot create %s: the folder %s does not exist\n"
                                 % (os.path.join(missing_dir, "x.exe"), missing_dir)),
                                (os.path.join(self.stub, "x.exe"),
                                 "%s is not a folder\n" % self.stub),
                                (os.path.join(self.dir, "taken.exe"), "cannot rename")):
            result = run("--stub", self.stub, self.src, "-o", target)
            self.assertNotEqual(result.returncode, 0)
            self.assertIn(message, result.stderr.decode())
        leftovers = [n for n in os.listdir(self.dir) if ".part" in n]
        self.assertEqual(leftovers, [])

    def assert_refused(self, result, message, out=None):
        self.assertNotEqual(result.returncode, 0)
        err = result.stderr.decode()
        self.assertEqual(len(err.strip().splitlines()), 1, err)
        self.assertIn(message, err)
        if out:
            self.assertFalse(os.path.exists(out), out)

    def test_settings_the_stub_would_misread_are_refused(self):
        # One case of each kind; the variants are in config_block_test.cpp.
        cases = [
            ("unknown key", "DefualtPath=C:\\x\n", [], "extra.ini:2: DefualtPath: unknown key; "
             "did you mean DefaultPath?"),
            ("OpenFolder=01", "OpenFolder=01\n", [], "the stub would read it as off"),
            ("dollar in DefaultPath", "", ["--default-path", "C:\\My$Dir\\x"],
             "would make 'C:\\My%Dir\\x' of it"),
            ("dollar in a shortcut", "", ["--shortcut", "$desktop$\\a$.lnk|x.exe|"],
             "Shortcut0 link: the '$' at character 12"),
            ("misspelt folder variable", "", ["--default-path", "$programfile$\\Typo"],
             "DefaultPath: $programfile$ is no folder variable the stub knows; "
             "did you mean $programfiles$?"),
            ("backslash-n in intro", "", ["--intro", "Files go to C:\\new\\app"],
             "Intro: the backslash and 'n' at character 15 would show as a line break"),
            ("backslash-n in the config file", "Intro=a\\nb\n", [],
             "extra.ini:2: Intro: the backslash"),
            ("switch in the config file", "Name=x\nNoGUI=true\n", [],
             "extra.ini:3: NoGUI: 'true' is neither 1 (on) nor 0 (off)"),
            ("Name in the config file not UTF-8", "Name=bad \udcff\n", [],
             "extra.ini:2: Name: the value is not valid UTF-8"),
            ("shortcut gap in the config file", "Name=x\nShortcut1=a|b|\n", [],
             "extra.ini:3: Shortcut1: Shortcut0 is missing"),
            ("option over a config file key", "Name=x\n", ["--name", " padded"],
             "vandrel-pack: Name: the value starts or ends with a blank"),
        ]
        for what, ini_text, extra, message in cases:
            with self.subTest(what):
                args = list(extra)
                if ini_text:
                    ini = os.path.join(self.dir, "extra.ini")
                    with open(ini, "w", encoding="utf-8", errors="surrogateescape") as f:
                        f.write("[QV]\n" + ini_text)
                    args += ["--config", ini]
                result, out = self.pack(*args, out="refused.exe")
                self.assert_refused(result, message, out)

    def test_stubs_that_are_not_windows_programs_are_refused(self):
        cases = [
            ("random bytes", os.urandom(40000), "not a Windows program (no MZ header)"),
            ("ELF file", b"\x7fELF\x01\x01\x01" + b"\0" * 40000, "an ELF file"),
            ("ARM program", pe_bytes(40000, machine=0x1C0), "a Windows program for machine 0x01C0"),
            ("library", pe_bytes(40000, characteristics=0x2102), "a library"),
        ]
        for what, data, message in cases:
            with self.subTest(what):
                stub = self.write_stub(0, "odd.exe", data)
                result, out = self.pack(stub=stub, out="refused.exe")
                self.assert_refused(result, "--stub " + stub + ": " + message, out)
        for machine, name in ((0x14C, "i386"), (0x8664, "x86-64")):
            stub = self.write_stub(0, "good.exe", pe_bytes(40000, machine=machine))
            result, out = self.pack(stub=stub)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("stub %s (%s, 40000 bytes, no manifest)" % (stub, name), result.stdout.decode())

    def test_output_onto_an_input_is_refused_and_the_input_kept(self):
        ini = os.path.join(self.dir, "extra.ini")
        with open(ini, "w", encoding="utf-8") as f:
            f.write("Name=x\n")
        intro = os.path.join(self.dir, "intro.txt")
        with open(intro, "w", encoding="utf-8") as f:
            f.write("hello\n")
        os.symlink(self.stub, os.path.join(self.dir, "stub-link.exe"))
        inside = os.path.join(self.src, "readme.txt")
        cases = [
            ("the stub", [], self.stub, "is the --stub file"),
            ("the stub through a link", [], os.path.join(self.dir, "stub-link.exe"),
             "is the --stub file"),
            ("the config file", ["--config", ini], ini, "is the --config file"),
            ("the intro file", ["--intro-file", intro], intro, "is the --intro-file file"),
            ("a source file", [], inside, "lies inside the source folder"),
            ("a new file in the source", [], os.path.join(self.src, "deep", "new.exe"),
             "lies inside the source folder"),
            ("the source by another path", [],
             os.path.join(self.dir, "src", "..", "src", "x.exe"), "lies inside"),
        ]
        for what, extra, target, message in cases:
            with self.subTest(what):
                before = {p: read_bytes(p) for p in (self.stub, ini, intro, inside)}
                existed = os.path.exists(target)
                result = run("--stub", self.stub, *extra, self.src, "-o", target)
                self.assert_refused(result, message)
                self.assertEqual(os.path.exists(target), existed)
                for p, data in before.items():
                    self.assertEqual(read_bytes(p), data, p)
        # An unrelated existing file is overwritten, as other build tools do.
        other = os.path.join(self.dir, "other.exe")
        with open(other, "wb") as f:
            f.write(b"old")
        result = run("--stub", self.stub, self.src, "-o", other)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertGreater(os.path.getsize(other), 40000)

    def test_command_line_mistakes_are_refused(self):
        out = os.path.join(self.dir, "x.exe")
        cases = [
            ("-o twice", ["-o", out, self.src, "-o", out + "2"], "-o is given twice"),
            ("--output and -o", ["--output", out, self.src, "-o", out], "-o is given twice"),
            ("--stub twice", ["--stub", self.stub, "--stub", self.stub, self.src, "-o", out],
             "--stub is given twice"),
            ("--level twice", ["--level", "1", "--level=2", self.src, "-o", out],
             "--level is given twice"),
            ("--intro and --intro-file", ["--intro", "a", "--intro-file", "f", self.src,
                                          "-o", out], "both set the welcome text"),
            ("--info with --name", ["--info", "--name", "x", out], "--name sets up packing"),
            ("--verify with --stub", ["--verify", "--stub", self.stub, out],
             "--stub sets up packing"),
            ("--info with -o", ["--info", out, "-o", out], "they write none"),
            ("time zone by name", ["--time-zone", "CST", self.src, "-o", out],
             "--time-zone takes local, UTC or an offset"),
            ("--info with --time-zone", ["--info", "--time-zone", "UTC", out],
             "--time-zone sets up packing"),
            ("two sources", [self.src, self.src, "-o", out], "more than one source"),
            ("option after --", ["--", self.src, "--name", "-o", out], "more than one source"),
            ("misspelt option", ["--nogui", self.src, "-o", out],
             "unknown option --nogui; did you mean --no-gui?"),
            ("misspelt option, one dash", ["-defualt-path", "C:\\x", self.src, "-o", out],
             "unknown option -defualt-path; did you mean --default-path?"),
            ("unknown option", ["--colour", self.src, "-o", out], "unknown option --colour (see"),
        ]
        for what, args, message in cases:
            with self.subTest(what):
                self.assert_refused(run(*args), message, out)

    def test_version_is_the_projects_and_packs_nothing(self):
        out = os.path.join(self.dir, "x.exe")
        for args in (["--version"], ["--stub", self.stub, self.src, "-o", out, "--version"]):
            with self.subTest(args[0]):
                result = run(*args)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stdout.decode(),
                                 "vandrel-pack %s\n" % os.environ["VANDREL_VERSION"])
                self.assertFalse(os.path.exists(out))
        help_text = run("--help").stdout.decode()
        self.assertIn("\n  --version ", help_text)
        self.assertIn("\n  -h, --help ", help_text)
        self.assertIn("\n  -o, --output FILE ", help_text)
        self.assert_refused(run("--version=1"), "--version takes no value")
        # Only in an option's place: as a value or after -- they are text.
        cases = [
            (["--name", "--help", self.src, "-o", out], "Name=--help"),
            (["--intro", "-h", self.src, "-o", out], "Intro=-h"),
            (["--name", "--version", self.src, "-o", out], "Name=--version"),
        ]
        for args, key in cases:
            with self.subTest(args[:2]):
                result = run("--stub", self.stub, *args)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertIn(key, run("--info", out).stdout.decode())
        # After -- it names the source folder, here one that does not exist.
        os.remove(out)
        self.assert_refused(run("--stub", self.stub, "-o", out, "--", "--help"), "--help", out)

    def test_double_dash_lets_a_source_start_with_a_dash(self):
        dashed = os.path.join(self.dir, "-src")
        os.rename(self.src, dashed)
        result = run("--stub", self.stub, "-o", "dash.exe", "--", "-src", cwd=self.dir)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(os.path.exists(os.path.join(self.dir, "dash.exe")))

    def test_intro_file_gives_line_breaks(self):
        intro = os.path.join(self.dir, "intro.txt")
        with open(intro, "wb") as f:
            f.write("\ufeff\u6b22\u8fce\r\nC:\\App\\\n\n".encode("utf-8"))
        result, out = self.pack("--intro-file", intro)
        self.assertEqual(result.returncode, 0, result.stderr)
        text = run("--info", out).stdout.decode()
        self.assertIn("Intro=\u6b22\u8fce\\nC:\\App\\", text.replace("\r", ""))

    def test_names_windows_cannot_keep_are_refused(self):
        # One case of each kind; the variants are in source_tree_test.cpp.
        cases = [
            ("letter case", {"Readme.txt": b"1", "readme.txt": b"2"},
             "differ only in letter case"),
            ("trailing dot", {"trail.": b"1"}, "'trail.' would become 'trail'"),
            ("device name", {"CON": b"1"}, "CON is a device name"),
        ]
        for what, files, message in cases:
            with self.subTest(what):
                src = tempfile.mkdtemp(dir=self.dir)
                for name, data in files.items():
                    path = os.path.join(src, name)
                    os.makedirs(os.path.dirname(path), exist_ok=True)
                    with open(path, "wb") as f:
                        f.write(data)
                out = os.path.join(self.dir, "refused.exe")
                result = run("--stub", self.stub, src, "-o", out)
                self.assert_refused(result, message, out)
        # Every refused name of a folder in one run, a line each.
        src = os.path.join(self.dir, "four")
        os.makedirs(os.path.join(src, "sub"))
        for name in ("CON", "trail.", "sub/aux.h", "ok.txt", "sub/back\\slash"):
            with open(os.path.join(src, name), "wb") as f:
                f.write(b"x")
        out = os.path.join(self.dir, "refused.exe")
        result = run("--stub", self.stub, src, "-o", out)
        self.assertEqual(result.returncode, 2)
        self.assertFalse(os.path.exists(out))
        lines = result.stderr.decode().splitlines()
        self.assertEqual([l.split(": ")[1] for l in lines],
                         [os.path.join(src, n) for n in ("CON", "sub/aux.h", "sub/back\\slash",
                                                         "trail.")])

    def test_long_paths_warn_with_the_room_left(self):
        src = os.path.join(self.dir, "long")
        name = "d" * 120 + "/" + "f" * 105  # 226 bytes: fits below a 32-byte folder
        path = os.path.join(src, name)
        os.makedirs(os.path.dirname(path))
        with open(path, "wb") as f:
            f.write(b"x")
        out = os.path.join(self.dir, "long.exe")
        result = run("--stub", self.stub, src, "-o", out)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, b"")
        result = run("--stub", self.stub, "--default-path", "$startmenu$\\Vendor", src, "-o", out)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr.decode().strip(),
                         "vandrel-pack: warning: the longest entry path, " + name +
                         " (226 bytes), leaves 32 bytes for the destination folder, and "
                         "DefaultPath $startmenu$\\Vendor typically takes 82; the stub cannot "
                         "write a path over 259 bytes")
        os.remove(out)
        result = run("--stub", self.stub, "--default-path", "C:\\" + "v" * 40, src, "-o", out)
        self.assert_refused(result, "but DefaultPath C:\\vvv", out)

    def test_exec_the_stub_would_not_launch_warns(self):
        for name in ("Setup - English.exe", "Read Me - notes.txt"):
            with open(os.path.join(self.src, name), "wb") as f:
                f.write(b"x")
        cases = [
            ("in the payload, blanks and a dash", "Setup - English.exe", None),
            ("in the payload, a document", "$curdir$\\Read Me - notes.txt", None),
            ("not in the payload, blanks and a dash", "Setup - French.exe", "Exec: 'Setup - "
             "French.exe' holds arguments"),
            ("arguments", "app.exe /S", "Exec: 'app.exe /S' holds arguments"),
            ("no launch rule", "notes.docx", "Exec: the stub launches nothing for notes.docx"),
            ("not in the payload", "$targetdir$\\setup.exe",
             "Exec: $targetdir$\\setup.exe is not in the payload (no file setup.exe"),
            ("a program given a document", "tool.exe readme.txt", "Exec: 'tool.exe readme.txt' "
             "holds arguments"),
            ("$curdir$ is the extraction folder", "$curdir$\\gone.txt", "Exec: $curdir$\\gone.txt "
             "is not in the payload"),
            ("in the payload, other case", "$TargetDir$\\DEEP\\er\\still\\leaf.txt", None),
            ("in the payload, mixed separators", ".\\deep/er\\\\still\\leaf.txt", None),
            ("in the payload", "\u4e2d\u6587\\\u6587\u4ef6.txt", None),
            ("outside the extraction folder", "$sysdir$\\notepad.exe", None),
        ]
        for what, exec_path, message in cases:
            with self.subTest(what):
                result, out = self.pack("--exec", exec_path, out="exec.exe")
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertTrue(os.path.exists(out))
                warning = "vandrel-pack: warning: " + message if message else ""
                self.assertEqual(result.stderr.decode().strip()[:len(warning) or None], warning)

    def test_exec_program_asking_for_administrator_rights_warns_when_the_file_does_not(self):
        # A program whose own manifest asks for administrator rights: a
        # file packed with --elevation admin is one.
        result, program = self.pack("--elevation", "admin", stub=built_stub("i686"),
                                    out="admin-setup.exe")
        self.assertEqual(result.returncode, 0, result.stderr)
        os.rename(program, os.path.join(self.src, "admin-setup.exe"))
        warning = ("vandrel-pack: warning: Exec: admin-setup.exe asks for administrator rights "
                   "(requireAdministrator) and this file starts without them (asInvoker): the "
                   "user will be asked for them when it starts\n")
        cases = [
            ([], warning),
            (["--default-path", "$programfiles$\\MyApp"], ""),
            (["--elevation", "admin"], ""),
        ]
        for extra, expected in cases:
            with self.subTest(extra):
                result, _ = self.pack("--exec", "admin-setup.exe", *extra,
                                      stub=built_stub("i686"), out="runs-admin.exe")
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stderr.decode(), expected)
        result, _ = self.pack("--exec", "readme.txt", stub=built_stub("i686"), out="doc.exe")
        self.assertEqual(result.stderr, b"")

    def test_other_tools_list_the_names_in_utf8(self):
        result, out = self.pack()
        self.assertEqual(result.returncode, 0, result.stderr)
        archive = self.strip_archive(out)
        names = sorted(set(FILES) | {"deep/", "deep/er/", "deep/er/still/", "\u4e2d\u6587/"})
        env = dict(os.environ, LC_ALL="C.UTF-8")
        listings = {
            "unzip": ["unzip", "-l", archive],
            "7z": ["7z", "l", "-ba", "-sccUTF-8", archive],
        }
        for tool, command in listings.items():
            with self.subTest(tool):
                listed = subprocess.run(command, capture_output=True, timeout=TIMEOUT, env=env)
                self.assertEqual(listed.returncode, 0, listed.stderr)
                text = listed.stdout.decode("utf-8", "replace")
                for name in names:
                    shown = name if tool == "unzip" else name.rstrip("/")
                    self.assertIn(" " + shown + "\n", text + "\n", tool)
                self.assertIn("\u6587\u4ef6.txt", text)
        # Without the field the same names show garbled: the field is what helps.
        with zipfile.ZipFile(archive) as z:
            raw = [i.filename for i in z.infolist() if not i.filename.isascii()]
        self.assertTrue(raw)
        self.assertTrue(all("\u4e2d" not in n for n in raw))

    def append_unchanged(self, archive, name="appended.exe"):
        """Stub, a block with the archive's ZipSize, the archive as the tool wrote it."""
        data = read_bytes(archive)
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(pe_bytes(40000) + b"[QV]\nZipSize=%d\n" % len(data) + data)
        return path

    def test_info_reads_zip64_records_and_refuses_64_bit_sizes(self):
        archive = os.path.join(self.dir, "zip64.zip")
        subprocess.run(["zip", "-q", "-r", "-fz", archive, "."], cwd=self.src, check=True,
                       timeout=TIMEOUT)
        data = read_bytes(archive)
        self.assertIn(b"PK\x06\x06", data)  # else nothing new is tested
        info = run("--info", "--verify", self.append_unchanged(archive))
        self.assertEqual(info.returncode, 0, info.stderr)
        text = info.stdout.decode()
        self.assertIn("full64k.bin", text)
        self.assertIn("deep/er/still/", text)
        block = "[QV]\nZipSize=%d\n" % len(data)
        self.assertEqual(info_field(text, "archive base:"), str(40000 + len(block)))
        self.assertIn("verified:", text)

        # An entry whose ZIP64 field claims 5 GiB: the stub refuses the archive.
        name, body = b"huge.bin", b"x" * 100
        extra = struct.pack("<HHQQ", 1, 16, 5 << 30, len(body))
        local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, 0, 0, 0, 0x5A21,
                            zlib.crc32(body),
                            0xFFFFFFFF, 0xFFFFFFFF, len(name), len(extra)) + name + extra
        central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 45, 45, 0, 0, 0, 0x5A21, 0,
                              0xFFFFFFFF, 0xFFFFFFFF, len(name), len(extra), 0, 0, 0, 0, 0)
        huge = local + body + central + name + extra
        huge += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(central) + len(name) +
                            len(extra), len(local) + len(body), 0)
        huge_path = os.path.join(self.dir, "huge.zip")
        with open(huge_path, "wb") as f:
            f.write(huge)
        for args in (("--info",), ("--info", "--verify")):
            info = run(*args, self.append_unchanged(huge_path, "huge.exe"))
            self.assertNotEqual(info.returncode, 0)
            self.assertIn("64 bits", info.stderr.decode())

    def test_elevation_level_follows_the_option_and_the_destination(self):
        admin, user = "requireAdministrator", "asInvoker"
        cases = [
            ([], user),
            (["--default-path", "$programfiles$\\MyApp"], admin),
            (["--default-path", "%ProgramFiles%\\MyApp"], admin),
            (["--default-path", "$PROGRAMFILES(X86)$\\MyApp"], admin),
            (["--default-path", "$sysdir$\\drivers"], admin),
            (["--default-path", "$windir$\\Fonts"], admin),
            (["--default-path", "%SystemRoot%"], admin),
            (["--default-path", "C:\\Program Files\\MyApp"], admin),
            (["--default-path", "c:/program files (x86)/MyApp"], admin),
            (["--default-path", "C:\\\\WINDOWS\\Temp"], user),
            (["--default-path", "%SystemDrive%\\Program Files\\MyApp"], admin),
            (["--default-path", "C:\\Program Files Tools\\MyApp"], user),
            (["--default-path", "C:\\Windows.old"], user),
            (["--default-path", "D:\\Program Files\\MyApp"], admin),
            (["--default-path", "C:\\"], admin),
            (["--shortcut", "%PUBLIC%\\Desktop\\App.lnk|readme.txt|"], admin),
            (["--shortcut", "$desktop$\\App.lnk|readme.txt|"], user),
            (["--default-path", "MyApp\\Program Files"], user),
            (["--default-path", "$desktop$\\MyApp"], user),
            (["--default-path", "$programdata$\\MyApp"], user),
            (["--elevation", "admin", "--default-path", "$desktop$\\MyApp"], admin),
            (["--elevation", "user", "--default-path", "$programfiles$\\MyApp"], user),
            (["--elevation", "auto", "--default-path", "C:\\Program Files\\MyApp"], admin),
        ]
        stubs = {tree: read_bytes(built_stub(tree)) for tree in ("i686", "x86_64")}
        for tree, stub in stubs.items():
            self.assertEqual(manifest_level(stub, stub), user, tree)
            for n, (extra, level) in enumerate(cases):
                # The 64-bit stub's headers differ: a few rows suffice there.
                if tree == "x86_64" and n % 5:
                    continue
                with self.subTest(tree=tree, options=extra):
                    result, out = self.pack(*extra, stub=built_stub(tree), out="level.exe")
                    self.assertEqual(result.returncode, 0, result.stderr)
                    self.assertEqual(manifest_level(read_bytes(out), stub), level)
                    info = run("--info", "--verify", out)
                    self.assertEqual(info.returncode, 0, info.stderr)
                    self.assertEqual(info_field(info.stdout.decode(), "execution level:"), level)
        # A manifest that does not parse stops Windows from starting the file.
        broken = stubs["i686"].replace(b"</assembly>", b"</assembly ", 1)
        result, out = self.pack(stub=self.write_stub(0, "broken.exe", broken),
                                out="from-broken.exe")
        self.assert_refused(result, "manifest: ", out)
        _, good = self.pack(stub=built_stub("i686"), out="good.exe")
        damaged = self.write_stub(0, "damaged.exe", read_bytes(good).replace(b"<security>",
                                                                             b"<security<", 1))
        info = run("--info", "--verify", damaged)
        self.assertNotEqual(info.returncode, 0)
        self.assertIn("manifest: ", info.stderr.decode())
        self.assertIn("unreadable", info_field(run("--info", damaged).stdout.decode(),
                                               "execution level:"))

    def test_signed_file_verifies_and_reads(self):
        stub = built_stub("i686")
        # Signed after packing, the signature covers the level written.
        result, out = self.pack("--elevation", "admin", stub=stub)
        self.assertEqual(result.returncode, 0, result.stderr)
        key, cert = os.path.join(self.dir, "key.pem"), os.path.join(self.dir, "cert.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=Vandrel test", "-keyout", key, "-out", cert],
                       check=True, capture_output=True, timeout=TIMEOUT)
        signed = os.path.join(self.dir, "signed.exe")
        subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "Test",
                        "-in", out, "-out", signed], check=True, capture_output=True,
                       timeout=TIMEOUT)
        verified = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", signed],
                                  capture_output=True, timeout=TIMEOUT)
        self.assertEqual(verified.returncode, 0, verified.stdout + verified.stderr)
        grown = os.path.getsize(signed) - os.path.getsize(out)
        info = run("--info", "--verify", signed)
        self.assertEqual(info.returncode, 0, info.stderr)
        text = info.stdout.decode()
        size, _, _, _, offset, _ = info_field(text, "certificate:").split()
        self.assertTrue(0 < int(size) <= grown, text)
        # The table is the file's end, after the archive (and the signer's padding).
        self.assertEqual(int(offset) + int(size), os.path.getsize(signed))
        self.assertGreaterEqual(int(offset), os.path.getsize(out))
        self.assertIn("verified:", text)
        self.assertEqual(info_field(text, "execution level:"), "requireAdministrator")
        self.assertEqual(manifest_level(read_bytes(out), read_bytes(stub)),
                         "requireAdministrator")
        unsigned = run("--info", out)
        self.assertIn("none (unsigned)", unsigned.stdout.decode())

    def test_info_refuses_files_without_a_good_payload(self):
        result, out = self.pack()
        with open(out, "rb") as f:
            good = f.read()
        cases = [
            ("bare stub", b"x" * 40000, "no [QV] marker"),
            ("truncated", good[:-5], "end-of-central-directory"),
            ("ZipSize off by one", good.replace(b"ZipSize=", b"ZipSize=1", 1), "ZipSize"),
        ]
        for what, data, message in cases:
            with self.subTest(what):
                path = os.path.join(self.dir, "bad.exe")
                with open(path, "wb") as f:
                    f.write(data)
                info = run("--info", "--verify", path)
                self.assertNotEqual(info.returncode, 0)
                self.assertIn(message, info.stderr.decode())


class InterruptTest(unittest.TestCase):
    """A run ended by a signal leaves no temporary or spool file, in each
    phase of its work; a signal its caller ignores stays ignored."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.dir = cls.tmp.name
        cls.stub = os.path.join(cls.dir, "stub.exe")
        with open(cls.stub, "wb") as f:
            f.write(pe_bytes(40000))
        # Small files are read and deflated in memory; files over 4 MiB are
        # deflated into spool files beside the output.
        cls.small = os.path.join(cls.dir, "small")
        os.makedirs(cls.small)
        for i in range(48):
            with open(os.path.join(cls.small, "noise%03d.bin" % i), "wb") as f:
                f.write(os.urandom(1 << 20))
        cls.large = os.path.join(cls.dir, "large")
        os.makedirs(cls.large)
        for i in range(3):
            with open(os.path.join(cls.large, "noise%d.bin" % i), "wb") as f:
                f.write(os.urandom(16 << 20))

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def wait_for(self, process, out_dir, phase):
        """Until the output's temporary file exists and, for the spool
        phase, a spool file beside it."""
        part = "out.exe.part%d" % process.pid
        deadline = time.monotonic() + TIMEOUT
        while True:
            names = os.listdir(out_dir)
            if part in names and (phase == "small" or any(n.startswith(part + ".")
                                                          for n in names)):
                return
            self.assertIsNone(process.poll(), "ended before the %s phase" % phase)
            self.assertLess(time.monotonic(), deadline)
            time.sleep(0.005)

    def test_signal_in_each_phase_removes_every_temporary_file(self):
        rows = [(phase, s, False) for phase in ("small", "spool")
                for s in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)]
        # Ignored by the caller (`vandrel-pack ... &` in a script): packs on.
        rows += [("small", signal.SIGINT, True), ("spool", signal.SIGHUP, True)]
        for phase, signal_number, ignored in rows:
            with self.subTest(phase=phase, signal=signal_number.name, ignored=ignored), \
                    tempfile.TemporaryDirectory(dir=self.dir) as out_dir:
                source = self.small if phase == "small" else self.large
                process = subprocess.Popen(
                    [TOOL, "--stub", self.stub, "--level", "9", source, "-o",
                     os.path.join(out_dir, "out.exe")], stdout=subprocess.DEVNULL,
                    stderr=subprocess.PIPE,
                    preexec_fn=lambda: ignored and signal.signal(signal_number, signal.SIG_IGN))
                try:
                    self.wait_for(process, out_dir, phase)
                    process.send_signal(signal_number)
                    _, err = process.communicate(timeout=TIMEOUT)
                finally:
                    if process.poll() is None:
                        process.kill()
                        process.wait(timeout=TIMEOUT)
                self.assertEqual(process.returncode, 0 if ignored else -signal_number, err)
                self.assertEqual(os.listdir(out_dir), ["out.exe"] if ignored else [])

if __name__ == "__main__":
    TOOL = os.path.abspath(sys.argv.pop(1))
    unittest.main()
