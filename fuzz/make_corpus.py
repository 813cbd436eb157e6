#!/usr/bin/env python3
"""Writes the small seed corpora of the fuzz targets: make_corpus.py OUTDIR.

OUTDIR/package/        packages as they stand behind the 65536-byte image
OUTDIR/uninstall_list/ flags, names and list bytes (see uninstall_list_fuzzer.cpp)
OUTDIR/install_location/ registry values (see install_location_fuzzer.cpp)
"""
import os
import struct
import sys


def digest(data):
    rolling = rsum = rxor = bsum = bxor = 0
    for c in data:
        rolling = (rolling * 233 + c) & 0xFFFFFFFF
        rsum = (rsum + (rolling & 0xFF)) & 0xFF
        rxor ^= rolling & 0xFF
        bsum = (bsum + c) & 0xFF
        bxor ^= c
    return struct.pack("<I4B", rolling, rsum, rxor, bsum, bxor)


def verification_list(records, magic=b"QSM_____"):
    body = b"".join(struct.pack("<56s8s", name, dig) for name, dig in records)
    return magic + struct.pack("<II", 0, len(records)) + body


def package(entries, count=None):
    """entries: (name, data) in table order, laid out back to back."""
    table, offset = b"", 0
    for name, data in entries:
        table += struct.pack("<16sII8x", name, offset, len(data))
        offset += len(data)
    count = len(entries) if count is None else count
    return b"PackFile    " + struct.pack("<I", count) + table + b"".join(d for _, d in entries)


def with_list(files, corrupt=None):
    records = [(n.lower() if i % 2 else n, digest(d)) for i, (n, d) in enumerate(files)]
    if corrupt is not None:
        name, dig = records[corrupt]
        records[corrupt] = (name, bytes([dig[0] ^ 1]) + dig[1:])
    return [(b"fwn.hvl", verification_list(records))] + files


def package_seeds():
    files = [(b"data01.pak", b"first archive\n" * 3), (b"Script.PAK", bytes(range(64))),
             (b"readme.txt", b"hello"), (b"empty.dat", b"")]
    sjis = "表.dat".encode("cp932")
    return {
        "full": package(with_list(files)),
        "mismatch": package(with_list(files, corrupt=1)),
        "no_list": package(files),
        "empty": package([]),
        "sjis_name": package(with_list([(sjis, b"\x83\x5c data"), (b"sub\\x.dat", b"x")])),
        "twins": package([(b"twin.dat", b"one"), (b"TWIN.dat", b"two"), (b"twin.dat", b"three")]),
        "list_entry": package(with_list([(b"uninst.lst", b"game.exe\n\0"), (b"a.dat", b"a")])),
        "max_entries": package([(b"f%02d.bin" % i, bytes([i]) * i) for i in range(24)]),
        "too_many": package(files, count=25),
        "cut_table": package(files)[:16 + 40],
        "header_only": b"PackFile    \0\0\0",
    }


def list_input(names, content, flags=0, distance=0):
    return (bytes([flags, distance & 0xFF, len(names)]) + b"".join(n + b"\0" for n in names) + content)


def uninstall_list_seeds():
    return {
        "append": list_input([b"z.pak", b"a.pak"], b"game.exe\r\nsave\\01.dat\r\n\0"),
        "present": list_input([b"arc.dat", b"b.dat", b"b.dat"], b"oldarc.dat\n\0"),
        "case": list_input([b"arc.dat"], b"Arc.dat\n\0"),
        "empty_text": list_input([b"x.dat", b""], b"\0"),
        "no_nul": list_input([b"x.dat"], b"a.dat\n"),
        "two_nuls": list_input([b"x.dat"], b"a\0b\n\0"),
        "empty_file": list_input([b"x.dat"], b""),
        "missing": list_input([b"x.dat"], b"", flags=1),
        "near_limit": list_input([b"n.dat"], b"tail\n\0", flags=2, distance=6),
        "at_limit": list_input([b"n.dat"], b"\0", flags=2, distance=0),
        "over_limit": list_input([], b"\0", flags=2, distance=-1),
    }


def install_location_seeds():
    # type index (REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD,
    # REG_MULTI_SZ, 6: no value), the caller's fill byte, the value's bytes
    def value(kind, data, fill=0xAA):
        return bytes([kind, fill]) + data
    return {
        "folder": value(1, b"C:\\Games\\Quenlith\0"),
        "empty": value(1, b"\0"),
        "exact": value(1, b"D" * 259 + b"\0"),
        "too_long": value(1, b"D" * 260 + b"\0"),
        "expand": value(2, b"%ProgramFiles%\\Q\0"),
        "no_nul": value(1, b"C:\\Games"),
        "zero_bytes": value(1, b""),
        "dword": value(4, b"\x01\0\0\0"),
        "missing": value(6, b""),
    }


def main():
    out = sys.argv[1]
    for target, seeds in (("package", package_seeds()), ("uninstall_list", uninstall_list_seeds()),
                          ("install_location", install_location_seeds())):
        folder = os.path.join(out, target)
        os.makedirs(folder, exist_ok=True)
        for name, data in seeds.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
