"""Writes a folder of mixed files for the extraction benchmarks.

usage: make_corpus.py DIR SIZE_MIB

Text (deflates well), binaries with structure, already-compressed data
(gzip streams and noise), a few large files and many small ones.
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
