#!/usr/bin/env python3
"""Writes an updater file for the native updater's script tests: zero bytes
up to 65536 (the native updater reads it through QUENLITH_POSIX_MODULE_PATH,
so no image is needed), then a package of the given entries.

  updater_package.py OUT [--entry-count N] [--record NAME=HEXDIGEST]... NAME=TEXT...

--record adds a verification list "fwn.hvl" as the first entry, holding the
given records; --entry-count writes N into the header whatever the table
holds.
"""
import argparse
import struct

parser = argparse.ArgumentParser()
parser.add_argument("out")
parser.add_argument("--entry-count", type=int)
parser.add_argument("--record", action="append", default=[])
parser.add_argument("entries", nargs="*")
args = parser.parse_intermixed_args()

entries = []
if args.record:
    records = b""
    for record in args.record:
        name, digest = record.split("=", 1)
        records += struct.pack("<56s8s", name.encode("cp932"), bytes.fromhex(digest))
    entries.append((b"fwn.hvl", b"QSM_____" + struct.pack("<II", 0, len(args.record)) + records))
for entry in args.entries:
    name, text = entry.split("=", 1)
    entries.append((name.encode("cp932"), text.encode("cp932")))

table, data = b"", b""
for name, content in entries:
    table += struct.pack("<16sII8x", name, len(data), len(content))
    data += content
count = len(entries) if args.entry_count is None else args.entry_count
with open(args.out, "wb") as out:
    out.write(b"\0" * 65536 + b"PackFile    " + struct.pack("<I", count) + table + data)
