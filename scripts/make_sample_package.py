#!/usr/bin/env python3
"""Packs the files of a folder behind a stub image (no verification list)."""
import os, struct, sys

stub, folder, out = sys.argv[1:4]
image = open(stub, "rb").read()
assert len(image) <= 65536, "stub too large"
names = sorted(os.listdir(folder))
datas = [open(os.path.join(folder, n), "rb").read() for n in names]
table, offset = b"", 0
for name, data in zip(names, datas):
    table += struct.pack("<16sII8x", name.encode("cp932"), offset, len(data))
    offset += len(data)
with open(out, "wb") as f:
    f.write(image.ljust(65536, b"\0"))
    f.write(b"PackFile    " + struct.pack("<I", len(names)) + table + b"".join(datas))
