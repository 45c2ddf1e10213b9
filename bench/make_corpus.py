"""Writes a folder of mixed files for the extraction benchmarks.

usage: make_corpus.py DIR SIZE_MIB [SHAPE]

SHAPE "mixed" (the default): text (deflates well), binaries with structure,
already-compressed data (gzip streams and noise), a few large files and
many small ones, some 10 files a MiB.
SHAPE "shipped": shaped like the folders publishers ship, some 35 files a
MiB (6,986 for 200 MiB): mostly small text and binary files in nested
folders, some already compressed, and four large files holding a third of
the size.
"""
import gzip
import os
import random
import sys

root, total = sys.argv[1], int(sys.argv[2]) << 20
rng = random.Random(1)
words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 10)))
         for _ in range(5000)]


def text(n):
    out, size = [], 0
    while size < n:
        line = " ".join(rng.choice(words) for _ in range(12)) + "\n"
        out.append(line)
        size += len(line)
    return "".join(out).encode()[:n]


text_block = text(4 << 20)
record = bytes(rng.getrandbits(8) if j % 4 == 0 else j & 0xFF for j in range(4096))


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    return len(data)


def shipped():
    """Four large files take a third; the rest is spread over small files,
    their sizes drawn so that the total comes out right."""
    large = total // 3 // 4
    for n in range(4):
        data = os.urandom(large // 2) + (text_block * 8)[: large - large // 2]
        write(f"{root}/app/data/pack{n}.dat", data)
    count = max(1, total * 6982 // (200 << 20))
    budget = total - 4 * large
    made = 0
    for k in range(count):
        left = count - k
        mean = max(64, (budget - made) // left)
        size = max(1, min(int(rng.expovariate(1 / mean)), 8 * mean))
        depth = "/".join(f"d{(k >> (3 * j)) % 7}" for j in range(1 + k % 4))
        kind = k % 10
        if kind < 6:  # sources, documents, configuration
            start = (k * 7919) % (3 << 20)
            made += write(f"{root}/app/{depth}/t{k}.txt", text_block[start:start + size])
        elif kind < 9:  # binaries with structure
            made += write(f"{root}/app/{depth}/b{k}.dll", (record * (size // 4096 + 1))[:size])
        else:  # images and archives: already compressed
            made += write(f"{root}/app/{depth}/c{k}.png", os.urandom(size))


if len(sys.argv) > 3 and sys.argv[3] == "shipped":
    shipped()
    sys.exit(0)

made, i = 0, 0
while made < total:
    kind = i % 5
    if kind == 0:  # a large log
        data = (text_block * 3)[: 12 << 20]
        made += write(f"{root}/logs/log{i}.txt", data[i % 997:] + data[: i % 997])
    elif kind == 1:  # noise, like media
        made += write(f"{root}/media/blob{i}.bin", os.urandom(6 << 20))
    elif kind == 2:  # already compressed
        made += write(f"{root}/packed/part{i}.gz", gzip.compress(text_block[: 12 << 20], 6))
    elif kind == 3:  # binaries: repeated records with noise
        made += write(f"{root}/bin/data{i}.dat", record * ((4 << 20) // 4096))
    else:  # many small sources
        for k in range(300):
            start = (k * 7919 + i) % (3 << 20)
            made += write(f"{root}/src/m{i}/f{k}.c", text_block[start:start + rng.randint(100, 30000)])
    i += 1
