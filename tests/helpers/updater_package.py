#!/usr/bin/env python3
"""Writes an updater file for the native updater's script tests: zero bytes
up to 65536 (the native updater reads it through QUENLITH_POSIX_MODULE_PATH,
so no image is needed), then a package of the given entries and no
verification list.

  updater_package.py OUT NAME=TEXT...
"""
import struct
import sys

out, entries = sys.argv[1], [arg.split("=", 1) for arg in sys.argv[2:]]
table, data = b"", b""
for name, text in entries:
    content = text.encode("cp932")
    table += struct.pack("<16sII8x", name.encode("cp932"), len(data), len(content))
    data += content
with open(out, "wb") as f:
    f.write(b"\0" * 65536 + b"PackFile    " + struct.pack("<I", len(entries)) + table + data)
