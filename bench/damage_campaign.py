#!/usr/bin/env python3
"""A campaign of damaged payloads against the stub(s) under Wine.

Makes damaged copies of a few valid Vandrel files: bit flips and overwritten
fields in the local headers, the central directory, the end record and the
data; truncation at every structure boundary; configuration blocks with huge
values, lines without "=", NUL bytes, ZipSize off by +-1, +-65,536, negative
and huge; markers and signatures at the scan limits. Each copy runs silently
in a sandbox of its own through damage_driver.exe (built beside the stub),
which answers every message box and records its text. The destination is the
sandbox's dest/ folder; a sentinel tree around it and the run's own TEMP
folder must be unchanged afterwards.

Printed per stub: runs, crashes (an exit code other than the program's own 1,
an exception, a Wine crash report), hangs (no end and no message box), writes
outside the destination, and failures without one of the program's messages
(a run that ended silently with anything but the whole archive extracted, or
a box whose text is not one of the program's messages). Goal: 0, 0, 0, 0.

Usage: bench/damage_campaign.py [--cases N] [--seed S] [--controls]
                                [--work DIR] [--keep-wine] STUB.exe [STUB.exe]
Exit status: 0 when every count is 0, 1 otherwise, 77 when no stub given can
run on this machine.
"""
import argparse
import hashlib
import os
import random
import shutil
import struct
import subprocess
import sys
import time
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SCRIPTS = os.path.join(ROOT, "scripts")
TIMEOUT_MS = 8000
BATCH = 250

MARKER_FIRST, MARKER_LAST, COUNTER_LIMIT = 20000, 500000, 800000
FATAL_PREFIX = "出现了以下错误导致程序无法继续运行：\\n\\n "
CAPTION = "Vandrel 错误"
MESSAGES = ["不能读取文件信息。此文件可能已经损坏。", "不能解压缩当前文件。",
            "Could not read the source SFX.", "不能写临时文件。", "不能创建输出目录。"]
CRASH_WORDS = ("Unhandled exception", "Unhandled page fault", "Backtrace:", "wine: Unhandled",
               "err:seh", "stack overflow")

# Fields of the ZIP records: (offset, size, name).
LOCAL_FIELDS = [(0, 4, "signature"), (4, 2, "version"), (6, 2, "flags"), (8, 2, "method"),
                (10, 2, "time"), (12, 2, "date"), (14, 4, "crc"), (18, 4, "csize"),
                (22, 4, "usize"), (26, 2, "name_length"), (28, 2, "extra_length")]
CENTRAL_FIELDS = [(0, 4, "signature"), (4, 2, "made_by"), (6, 2, "version"), (8, 2, "flags"),
                  (10, 2, "method"), (12, 2, "time"), (14, 2, "date"), (16, 4, "crc"),
                  (20, 4, "csize"), (24, 4, "usize"), (28, 2, "name_length"),
                  (30, 2, "extra_length"), (32, 2, "comment_length"), (34, 2, "disk"),
                  (36, 2, "internal_attributes"), (38, 4, "external_attributes"),
                  (42, 4, "local_offset")]
END_FIELDS = [(0, 4, "signature"), (4, 2, "disk"), (6, 2, "directory_disk"),
              (8, 2, "entries_on_disk"), (10, 2, "entries"), (12, 4, "directory_size"),
              (16, 4, "directory_offset"), (20, 2, "comment_length")]


# ---------------------------------------------------------------- the files

class Entry:
    def __init__(self, name, data=b"", method=8, utf8=False):
        self.name = name.encode("gbk") if isinstance(name, str) else name
        self.data = data
        self.method = 0 if name.endswith("/") else method
        self.utf8 = utf8


def build_zip(entries, base, comment=b""):
    """The archive and the offsets of its records, relative to its start.
    `base` is added to every recorded offset (the builder records offsets
    from the start of the file, a tool archive appended unchanged from its
    own start)."""
    out = bytearray()
    layout = {"entries": []}
    central = bytearray()
    for e in entries:
        if e.method == 8:
            packer = zlib.compressobj(6, zlib.DEFLATED, -15)
            stored = packer.compress(e.data) + packer.flush()
        else:
            stored = e.data
        crc = zlib.crc32(e.data) & 0xFFFFFFFF
        flags = 0x800 if e.utf8 else 0
        local = len(out)
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, e.method, 0x6000, 0x5A87, crc,
                           len(stored), len(e.data), len(e.name), 0)
        out += e.name
        data = len(out)
        out += stored
        central_at = len(central)
        attributes = 0x10 if e.name.endswith(b"/") else 0x20
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, flags, e.method, 0x6000,
                               0x5A87, crc, len(stored), len(e.data), len(e.name), 0, 0, 0, 0,
                               attributes, base + local)
        central += e.name
        layout["entries"].append({"local": local, "data": data, "data_length": len(stored),
                                  "central": central_at, "name_length": len(e.name)})
    directory = len(out)
    for record in layout["entries"]:
        record["central"] += directory
    out += central
    end = len(out)
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central),
                       base + directory, len(comment))
    out += comment
    layout.update(directory=directory, end=end, size=len(out))
    return bytes(out), layout


def block_of(keys):
    return b"[QV]\n" + b"".join(k + b"=" + v + b"\n" for k, v in keys)


class Payload:
    """A self-extracting file: stub, padding, configuration block, archive."""

    def __init__(self, stub, keys, entries, absolute=True, comment=b"", padding=0,
                 block=None, zip_size_delta=0, zip_size_text=None):
        self.entries = entries
        prefix_length = len(stub) + padding
        # Recorded offsets have a fixed width: the archive's size does not
        # depend on where it starts.
        zip_bytes, self.layout = build_zip(entries, 0, comment)
        if block is None:
            size_text = zip_size_text if zip_size_text is not None else \
                str(len(zip_bytes) + zip_size_delta).encode()
            block = block_of([(b"ZipSize", size_text)] + [(k, v) for k, v in keys
                                                          if k != b"ZipSize"])
        if absolute:
            zip_bytes, self.layout = build_zip(entries, prefix_length + len(block), comment)
        self.block_start = prefix_length
        self.archive_start = prefix_length + len(block)
        self.bytes = stub + b"x" * padding + block + zip_bytes

    def left_after_delete(self):
        """The folders the extraction made without an entry of their own:
        a deletion of everything extracted leaves them."""
        tree = self.expected_tree()
        listed = {e.name.decode("utf-8" if e.utf8 else "gbk") for e in self.entries}
        return {k: v for k, v in tree.items() if v is None and k not in listed}

    def expected_tree(self):
        tree = {}
        for e in self.entries:
            name = e.name.decode("utf-8" if e.utf8 else "gbk").replace("\\", "/")
            parts = name.rstrip("/").split("/")
            for i in range(1, len(parts)):
                tree["/".join(parts[:i]) + "/"] = None
            if name.endswith("/"):
                tree[name] = None
            else:
                tree[name] = hashlib.sha1(e.data).hexdigest()
        return tree


def text_data(n, seed):
    rng = random.Random(seed)
    words = ["vandrel", "archive", "payload", "entry", "folder", "\n", "数据", "文件"]
    out = []
    while sum(len(w) for w in out) < n:
        out.append(rng.choice(words))
    return " ".join(out).encode("gbk")[:n]


def bases(stub):
    """A few valid files: deflated with absolute offsets, stored and appended
    unchanged with a comment, and a one-entry archive."""
    rng = random.Random(7)
    big = bytes(rng.randrange(64) for _ in range(70000)) + text_data(40000, 3)
    keys = [(b"Name", "损坏测试".encode("gbk")), (b"Intro", b"line\\nline"),
            (b"URL", b"http://example.invalid/"), (b"NoGUI", b"1"), (b"Author", b"x")]
    silent = [(b"NoGUI", b"1")]
    return {
        "deflated": Payload(stub, keys, [
            Entry("readme.txt", text_data(3000, 1)), Entry("docs/"),
            Entry("docs/guide.txt", text_data(900, 2)), Entry("说明.txt", text_data(500, 4)),
            Entry("data/big.bin", big), Entry("empty.txt", b"", method=0)]),
        "stored": Payload(stub, silent, [
            Entry("a.txt", b"stored bytes\n" * 40, method=0),
            Entry("sub/dir/b.txt", text_data(2000, 5), method=0),
            Entry("一等奬.txt", text_data(300, 6), method=0)],
            absolute=False, comment=b"archive comment"),
        "tiny": Payload(stub, silent, [Entry("only.txt", b"just one file\n")]),
    }


# ----------------------------------------------------------------- damage

def put(data, offset, value, size):
    out = bytearray(data)
    out[offset:offset + size] = (value & ((1 << (8 * size)) - 1)).to_bytes(size, "little")
    return bytes(out)


def field_values(value, size):
    top = (1 << (8 * size)) - 1
    values = [0, top, (value + 1) & top, (value - 1) & top, value ^ (1 << (8 * size - 1))]
    if size == 4:
        values.append((value + 65536) & top)
    return sorted(set(v for v in values if v != value))


def record_fields(payload):
    """Every field of every record: (record name, absolute offset, size, field name)."""
    start = payload.archive_start
    for i, record in enumerate(payload.layout["entries"]):
        for offset, size, name in LOCAL_FIELDS:
            yield f"local{i}", start + record["local"] + offset, size, name
        for offset, size, name in CENTRAL_FIELDS:
            yield f"central{i}", start + record["central"] + offset, size, name
    for offset, size, name in END_FIELDS:
        yield "end", start + payload.layout["end"] + offset, size, name


def regions(payload):
    """Byte ranges of each kind of structure, absolute."""
    start = payload.archive_start
    layout = payload.layout
    local, data = [], []
    for record in layout["entries"]:
        local.append((start + record["local"], start + record["data"]))
        if record["data_length"]:
            data.append((start + record["data"], start + record["data"] + record["data_length"]))
    return {"local": local, "data": data,
            "central": [(start + layout["directory"], start + layout["end"])],
            "end": [(start + layout["end"], start + layout["size"])],
            "block": [(payload.block_start, payload.archive_start)]}


def boundaries(payload):
    start = payload.archive_start
    layout = payload.layout
    cuts = {payload.block_start, start}
    for record in layout["entries"]:
        local = start + record["local"]
        cuts |= {local, local + 30, start + record["data"],
                 start + record["data"] + record["data_length"] // 2,
                 start + record["data"] + record["data_length"],
                 start + record["central"], start + record["central"] + 46}
    cuts |= {start + layout["directory"], start + layout["end"], start + layout["end"] + 22,
             start + layout["size"]}
    return sorted(cuts)


def structure_cases(name, payload, rng):
    data = payload.bytes
    for record, offset, size, field in record_fields(payload):
        value = int.from_bytes(data[offset:offset + size], "little")
        for v in field_values(value, size):
            yield f"{name}: {record}.{field} = {v:#x}", put(data, offset, v, size), False
    # A flip in the NoGUI line, or in the line feed before it, may send the
    # run down the wizard's road.
    no_gui = data.index(b"\nNoGUI=", payload.block_start)
    no_gui = range(no_gui, data.index(b"\n", no_gui + 1) + 1)
    for kind, ranges in regions(payload).items():
        count = {"block": 30, "end": 25}.get(kind, 40)
        for _ in range(count):
            first, end = rng.choice(ranges)
            at = rng.randrange(first, end)
            bit = rng.randrange(8)
            flipped = bytearray(data)
            flipped[at] ^= 1 << bit
            yield (f"{name}: flip {kind} byte {at - first} bit {bit}", bytes(flipped),
                   kind == "block" and at in no_gui)
    for cut in boundaries(payload):
        for delta in (-1, 0, 1):
            if 0 < cut + delta < len(data):
                yield f"{name}: cut at {cut + delta}", data[:cut + delta], False


def config_cases(stub, base):
    entries = base.entries

    def with_keys(description, keys, subdir="", wizard=False, **options):
        return description, Payload(stub, keys, entries, **options), subdir, wizard

    silent = [(b"NoGUI", b"1")]
    huge = b"9" * 40
    yield with_keys("ZipSize huge", silent, zip_size_text=huge)
    for text in (b"4294967295", b"4294967296", b"2147483647", b"2147483648", b"-1", b"-65536",
                 b"-2147483648", b"0", b"", b"0x100", b" 12", b"1e9", b"+5"):
        yield with_keys(f"ZipSize={text.decode()}", silent, zip_size_text=text)
    for delta in (1, -1, 65536, -65536, 2, -2, 4, -4, 22, -22):
        yield with_keys(f"ZipSize off by {delta}", silent, zip_size_delta=delta)
    for key, length in ((b"Name", 5000), (b"Intro", 70000), (b"URL", 3000), (b"Exec", 2000),
                        (b"Shortcut0", 5000), (b"Author", 200000), (b"AutoExtract", 3000),
                        (b"OpenFolder", 300)):
        yield with_keys(f"{key.decode()} of {length} bytes", silent + [(key, b"a" * length)])
    yield with_keys("Intro of backslash-n only", silent + [(b"Intro", b"\\n" * 4000)])
    yield with_keys("DefaultPath of 300 bytes", silent + [(b"DefaultPath", b"d" * 300)])
    yield with_keys("DefaultPath of 259 bytes", silent + [(b"DefaultPath", b"d" * 259)])
    yield with_keys("DefaultPath of dollar signs", silent + [(b"DefaultPath", b"$" * 258)])
    # Cut to 259 characters, the last "%curdir" is no variable but a folder.
    yield with_keys("DefaultPath of percent signs",
                    silent + [(b"DefaultPath", b"%curdir%\\" * 40)], subdir="%curdir/")
    yield with_keys("500 shortcut keys",
                    silent + [(b"Shortcut%d" % i, b"a|b|") for i in range(500)])
    # Read as an integer that may come out 0: then the wizard runs.
    yield with_keys("NoGUI huge", [(b"NoGUI", huge)], wizard=True)
    yield with_keys("NoGUI negative", [(b"NoGUI", b"-1")])
    # Everything extracted is deleted again, and the destination with it
    # where nothing else is left there.
    payload = Payload(stub, silent + [(b"Delete", huge)], entries)
    yield "Delete huge", payload, "", False, payload.left_after_delete(), True
    zip_size = str(base.layout["size"]).encode()
    lines = [b"NoGUI=1", b"ZipSize=" + zip_size]
    for description, block in (
            ("line without =", b"[QV]\nZipSize " + zip_size + b"\nNoGUI=1\nName\n"),
            ("ZipSize line without =", b"[QV]\nZipSize\nNoGUI=1\nName value\n"),
            ("= alone", b"[QV]\n=\n==\n" + b"\n".join(lines) + b"\n"),
            ("NUL in a value", b"[QV]\n" + b"\n".join(lines) + b"\nName=a\0b\n"),
            ("NUL before ZipSize", b"[QV]\n\0\n" + b"\n".join(lines) + b"\n"),
            ("NUL in the header", b"[Q\0V]\n" + b"\n".join(lines) + b"\n"),
            ("NUL in a key", b"[QV]\nNoGUI=1\nZip\0Size=" + zip_size + b"\n"),
            ("5,000 NULs after the keys", b"[QV]\n" + b"\n".join(lines) + b"\n" + b"\0" * 5000),
            ("NULs between the keys", b"[QV]\nNoGUI=1\n" + b"\0" * 300 + b"\nZipSize=" + zip_size),
            ("no line feed at the end", b"[QV]\n" + b"\n".join(lines)),
            ("carriage returns", b"[QV]\r\n" + b"\r\n".join(lines) + b"\r\n"),
            ("carriage returns only", b"[QV]\nNoGUI=1\nZipSize=" + zip_size + b"\rName=x\r"),
            ("ZipSize in another section", b"[QV]\nNoGUI=1\n[other]\nZipSize=" + zip_size),
            ("keys after another section", b"[QV]\n" + b"\n".join(lines) + b"\n[x]\nNoGUI=0\n"),
            ("repeated ZipSize", b"[QV]\n" + b"\n".join(lines) + b"\nZipSize=1\n"),
            ("marker inside a value", b"[QV]\n" + b"\n".join(lines) + b"\nName=[QV]\n"),
            ("local signature in a value",
             b"[QV]\n" + b"\n".join(lines) + b"\nName=PK\x03\x04\n"),
            ("end signature in a value",
             b"[QV]\n" + b"\n".join(lines) + b"\nName=PK\x05\x06\n"),
            ("a line of 100,000 bytes", b"[QV]\n" + b"\n".join(lines) + b"\n" + b"k" * 100000),
            ("bytes 0x80-0xFF", b"[QV]\n" + b"\n".join(lines) + b"\nName=" +
             bytes(range(0x80, 0x100)) + b"\n"),
            ("lead byte before the line feed",
             b"[QV]\n" + b"\n".join(lines) + b"\nName=\x81\n"),
            ("block without ZipSize", b"[QV]\nNoGUI=1"),
    ):
        # These blocks count offsets from the start of the archive: the
        # reader finds it wherever the block ends.
        yield description, Payload(stub, [], entries, absolute=False, block=block), "", False


def limit_cases(stub, base):
    entries = base.entries
    silent = [(b"NoGUI", b"1")]
    for marker in (MARKER_LAST - 1, MARKER_LAST, MARKER_LAST + 1):
        yield f"marker at {marker}", Payload(stub, silent, entries, padding=marker - len(stub))
    # The archive scan's counter is the signature's offset less 4.
    zip_size = str(build_zip(entries, 0)[1]["size"]).encode()
    for counter in (COUNTER_LIMIT - 1, COUNTER_LIMIT, COUNTER_LIMIT + 1):
        block = block_of([(b"ZipSize", zip_size), (b"NoGUI", b"1")])
        block += b";" + b"p" * (counter + 4 - MARKER_LAST - len(block) - 2) + b"\n"
        yield f"signature counter at {counter}", Payload(
            stub, [], entries, padding=MARKER_LAST - len(stub), block=block)
    for length in (65516, 65517, 65518, 65535):
        yield f"comment of {length} bytes", Payload(stub, silent, entries, comment=b"c" * length)
    # The last 22 bytes are then the end record of an empty archive, which
    # every reader takes: nothing is extracted, rightly.
    yield "end signature inside the comment", Payload(
        stub, silent, entries, comment=b"PK\x05\x06" + b"\0" * 18), "", False, {}
    yield "end signature at the comment's end", Payload(
        stub, silent, entries, comment=b"c" * 100 + b"PK\x05\x06")
    yield "marker in the stub's padding only", Payload(
        stub, silent, entries, padding=MARKER_LAST + 10 - len(stub),
        block=b"[QX]\n" + block_of(silent)[5:])


class Case:
    def __init__(self, description, data, expected, subdir="", wizard=False, tree=None,
                 deletes=False):
        self.description = description
        self.data = data
        if tree is not None:
            expected = tree
        # A run that deletes what it extracted removes the destination too
        # where nothing else is left in it.
        self.deletes = deletes
        # The tree a silent, complete run leaves in the destination.
        self.expected = {subdir: None, **{subdir + k: v for k, v in expected.items()}} \
            if subdir else expected
        # The run may take the wizard's road, which ends without extracting
        # while the wizard is not there.
        self.wizard = wizard


def catalog(stub):
    rng = random.Random(2026)
    cases = []
    all_bases = bases(stub)
    for name, payload in all_bases.items():
        tree = payload.expected_tree()
        cases.append(Case(f"{name}: undamaged", payload.bytes, tree))
        for description, data, wizard in structure_cases(name, payload, rng):
            cases.append(Case(description, data, tree, wizard=wizard))
    for builder in (config_cases, limit_cases):
        for name in ("deflated", "tiny"):
            base = all_bases[name]
            for description, payload, *more in builder(stub, base):
                cases.append(Case(f"{name}: {description}", payload.bytes,
                                  payload.expected_tree(), *more))
    return cases


# ---------------------------------------------------------------- running

def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def snapshot(case_dir):
    """Everything in the sandbox but the destination: path, size, digest."""
    found = {}
    for folder, dirs, files in os.walk(case_dir):
        relative = os.path.relpath(folder, case_dir)
        if relative == os.path.join("box", "dest"):
            dirs[:] = []
            continue
        for d in dirs:
            found[os.path.join(relative, d) + "/"] = None
        for f in files:
            path = os.path.join(folder, f)
            with open(path, "rb") as handle:
                found[os.path.join(relative, f)] = (os.path.getsize(path),
                                                    hashlib.sha1(handle.read()).hexdigest())
    return found


def tree_of(dest):
    tree = {}
    for folder, dirs, files in os.walk(dest):
        relative = os.path.relpath(folder, dest)
        prefix = "" if relative == "." else relative + "/"
        for d in dirs:
            tree[prefix + d + "/"] = None
        for f in files:
            with open(os.path.join(folder, f), "rb") as handle:
                tree[prefix + f] = hashlib.sha1(handle.read()).hexdigest()
    return tree


def prepare(case_dir, data):
    os.makedirs(os.path.join(case_dir, "box", "dest"))
    os.makedirs(os.path.join(case_dir, "box", "temp"))
    os.makedirs(os.path.join(case_dir, "box", "side"))
    for path, text in (("box/sentinel.txt", b"outside the destination\n"),
                       ("box/side/s.txt", b"beside the destination\n"),
                       ("sentinel.txt", b"above the destination\n")):
        with open(os.path.join(case_dir, path), "wb") as handle:
            handle.write(text)
    with open(os.path.join(case_dir, "t.exe"), "wb") as handle:
        handle.write(data)
    return snapshot(case_dir)


def is_program_message(box):
    caption, _, text = box.partition("|")
    return caption == CAPTION and any(text.startswith(FATAL_PREFIX + m) for m in MESSAGES)


def crash_reports(stderr_text):
    """Crash report lines of the error output, by case number."""
    reports = {}
    current = None
    for line in stderr_text.splitlines():
        if line.startswith("damage_driver: case "):
            current = int(line.split()[-1])
        elif any(word in line for word in CRASH_WORDS):
            reports.setdefault(current, []).append(line.strip())
    return reports


def run_batch(driver, batch, work, env):
    """Runs the cases of `batch` (a list of (case, program, args)); returns
    per case (verdict fields, crash report lines), or None when the driver
    cannot run here."""
    list_path = os.path.join(work, "cases.txt")
    with open(list_path, "wb") as handle:
        for case_dir, program, args in batch:
            handle.write(f"{windows_path(os.path.join(case_dir, 'box', 'dest'))}\t"
                         f"{program}\t{args}\n".encode("gbk"))
    limit = (TIMEOUT_MS / 1000 + 5) * len(batch) + 60
    run = subprocess.run([os.path.join(SCRIPTS, "wine-run.sh"), driver, windows_path(list_path),
                          str(TIMEOUT_MS)], env=env, capture_output=True, timeout=limit)
    if run.returncode == 77:
        return None
    lines = run.stdout.decode("gbk", "replace").splitlines()
    reports = crash_reports(run.stderr.decode("utf-8", "replace"))
    verdicts = {}
    for line in lines:
        fields = line.split("\t")
        if len(fields) >= 5 and fields[0].isdigit():
            verdicts[int(fields[0])] = fields
    if run.returncode != 0 or len(verdicts) != len(batch):
        sys.stderr.write(run.stderr.decode("utf-8", "replace")[-2000:])
        raise SystemExit(f"damage_driver failed (exit {run.returncode}, "
                         f"{len(verdicts)} of {len(batch)} verdicts)")
    return [(verdicts[i], reports.get(i, [])) for i in range(len(batch))]


def judge(verdict, reports, case_dir, before, expected, wizard=False, deletes=False):
    """The faults of one run: a subset of crash, hang, outside, silent."""
    _, outcome, code, _, boxes = verdict[:5]
    box_list = [b for b in boxes.split(" || ") if b] if boxes else []
    faults = []
    if outcome == "exit" and int(code, 16) != 1 or reports:
        faults.append("crash")
    if outcome in ("hang", "box-hang"):
        faults.append("hang")
    after = snapshot(case_dir)
    if deletes and "box/dest/" not in after:
        after["box/dest/"] = None
    if after != before:
        faults.append("outside")
    if outcome == "exit" and not faults:
        foreign = [b for b in box_list if not is_program_message(b)]
        tree = tree_of(os.path.join(case_dir, "box", "dest"))
        if foreign or (not box_list and tree != expected and not (wizard and not tree)):
            faults.append("silent")
    return faults


def summarize_box(boxes):
    if not boxes:
        return "no box"
    text = boxes.split(" || ")[0].partition("|")[2]
    return text.replace(FATAL_PREFIX, "").replace("\\n", " ")[:60]


def campaign(stub, cases, work, env, controls):
    driver = os.path.join(os.path.dirname(stub), "damage_driver.exe")
    control = os.path.join(os.path.dirname(stub), "damage_control.exe")
    label = os.path.basename(os.path.dirname(os.path.dirname(os.path.abspath(stub))))
    stub_work = os.path.join(work, label)
    shutil.rmtree(stub_work, ignore_errors=True)
    os.makedirs(stub_work)
    counts = {"runs": 0, "crash": 0, "hang": 0, "outside": 0, "silent": 0}
    outcomes = {}
    faults_seen = []
    started = time.time()

    # (description, bytes or None, expected tree, program args, faults a
    # control must show, may take the wizard's road)
    jobs = []
    if controls:
        for mode, fault in (("crash", "crash"), ("hang", "hang"), ("outside", "outside"),
                            ("silent", "silent"), ("foreign-box", "silent")):
            jobs.append((f"control: {mode}", None, {"x": "never"}, mode, [fault], False, False))
    for case in cases:
        jobs.append((case.description, case.data, case.expected, "", None, case.wizard,
                     case.deletes))

    control_failures = []
    for first in range(0, len(jobs), BATCH):
        chunk = jobs[first:first + BATCH]
        batch, befores = [], []
        for i, (description, data, _, args, _, _, _) in enumerate(chunk):
            case_dir = os.path.join(stub_work, f"{first + i:05d}")
            befores.append(prepare(case_dir, data if data is not None else b""))
            program = windows_path(os.path.join(case_dir, "t.exe")) if data is not None \
                else windows_path(control)
            batch.append((case_dir, program, args))
        results = run_batch(driver, batch, stub_work, env)
        if results is None:
            shutil.rmtree(stub_work, ignore_errors=True)
            return None
        for (description, _, expected, _, wanted, wizard, deletes), (case_dir, _, _), before, \
                (verdict, reports) in zip(chunk, batch, befores, results):
            faults = judge(verdict, reports, case_dir, before, expected, wizard, deletes)
            if wanted is not None:
                if faults != wanted:
                    control_failures.append(f"{description}: noticed {faults or 'nothing'}")
                shutil.rmtree(case_dir, ignore_errors=True)
                continue
            counts["runs"] += 1
            for fault in faults:
                counts[fault] += 1
            key = verdict[1] if verdict[1] != "exit" else summarize_box(verdict[4])
            outcomes[key] = outcomes.get(key, 0) + 1
            if faults:
                faults_seen.append(f"  {'/'.join(faults)}: {description} -> {verdict[1]} "
                                   f"exit {verdict[2]} {verdict[4]} {' '.join(reports)[:200]}")
            else:
                shutil.rmtree(case_dir, ignore_errors=True)
        print(f"  {label}: {min(first + BATCH, len(jobs))} of {len(jobs)} run, "
              f"{time.time() - started:.0f} s", flush=True)
    return counts, outcomes, faults_seen, control_failures, time.time() - started


def set_timeout(seconds):
    global TIMEOUT_MS
    TIMEOUT_MS = int(seconds * 1000)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("stubs", nargs="+")
    parser.add_argument("--cases", type=int, default=0, help="a random sample of N cases")
    parser.add_argument("--seed", type=int, default=11)
    parser.add_argument("--match", help="only the cases whose description holds this text")
    parser.add_argument("--timeout", type=float, default=TIMEOUT_MS / 1000,
                        help="seconds a run may take before it counts as a hang")
    parser.add_argument("--controls", action="store_true",
                        help="first show that each kind of fault is noticed")
    parser.add_argument("--work", default=os.path.join(ROOT, "build", "damage-campaign"))
    parser.add_argument("--keep-wine", action="store_true",
                        help="leave the prefix's wineserver running (ctest ends it)")
    options = parser.parse_args()
    set_timeout(options.timeout)

    env = dict(os.environ)
    env.setdefault("VANDREL_WINEPREFIX", os.path.join(ROOT, "build", "wine"))
    env["VANDREL_WINE_TIMEOUT"] = "3600"
    os.makedirs(options.work, exist_ok=True)
    if not options.keep_wine:
        subprocess.run([os.path.join(SCRIPTS, "wine-start.sh")], env=env, timeout=900,
                       stdout=subprocess.DEVNULL)

    any_ran, all_clean = False, True
    try:
        for stub in options.stubs:
            with open(stub, "rb") as handle:
                cases = catalog(handle.read())
            if options.match:
                cases = [c for c in cases if options.match in c.description]
            if options.cases:
                cases = random.Random(options.seed).sample(cases, min(options.cases, len(cases)))
            print(f"{stub}: {len(cases)} cases", flush=True)
            result = campaign(stub, cases, options.work, env, options.controls)
            if result is None:
                print(f"{stub}: not run: this machine cannot run programs of its kind under Wine")
                continue
            any_ran = True
            counts, outcomes, faults, control_failures, seconds = result
            print(f"{stub}: runs {counts['runs']}, crashes {counts['crash']}, "
                  f"hangs {counts['hang']}, writes outside {counts['outside']}, "
                  f"failures without a message {counts['silent']} ({seconds:.0f} s)")
            for key, n in sorted(outcomes.items(), key=lambda kv: -kv[1]):
                print(f"    {n:5d}  {key}")
            for line in faults[:50]:
                print(line)
            for line in control_failures:
                print(f"  control not noticed as planned: {line}")
            if any(counts[k] for k in ("crash", "hang", "outside", "silent")) or control_failures:
                all_clean = False
    finally:
        if not options.keep_wine:
            subprocess.run([os.path.join(SCRIPTS, "wine-stop.sh")], env=env, timeout=120)
    if not any_ran:
        return 77
    return 0 if all_clean else 1


if __name__ == "__main__":
    sys.exit(main())
