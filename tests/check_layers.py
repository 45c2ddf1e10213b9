#!/usr/bin/env python3
"""Fails when a source folder includes from a folder above it: the program is
a stack (app, wizard, actions, archive, config, core, util) read top down."""
import pathlib
import re
import sys

LAYERS = ["app", "wizard", "actions", "archive", "config", "core", "util"]
# archive and config sit side by side: neither includes the other.
RANK = {"app": 0, "wizard": 1, "actions": 2, "archive": 3, "config": 3, "core": 4, "util": 5}

src = pathlib.Path(sys.argv[1])
faults = []
for path in sorted(src.rglob("*")):
    if path.suffix not in (".h", ".cpp", ".rc"):
        continue
    here = path.relative_to(src).parts[0]
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        m = re.match(r'\s*#\s*include\s+"([a-z_]+)/', line)
        if not m:
            continue
        there = m.group(1)
        if there == here:
            continue
        if there not in RANK or here not in RANK or RANK[there] <= RANK[here]:
            faults.append(f"{path.relative_to(src)}:{number}: {here}/ includes {there}/")
for fault in faults:
    print(fault)
sys.exit(1 if faults else 0)
