#!/usr/bin/env python3
"""Copies an installer of ours and sets its stub record's digest algorithm to
0 (none), as a stub without the builder's digests reads it: the same package,
the same bytes everywhere else, but every entry is copied without a digest.

usage: without-digest.py INSTALLER OUTPUT"""
import struct
import sys

ALGORITHM_AT = 36  # in the record, at the start of the .qfstub section


def record_offset(image: bytes) -> int:
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    sections, optional = struct.unpack_from("<H12xH", image, pe + 6)
    table = pe + 24 + optional
    for i in range(sections):
        name, raw = struct.unpack_from("<8s12xI", image, table + 40 * i)
        if name.rstrip(b"\0") == b".qfstub":
            return raw
    sys.exit("no .qfstub section: not an installer of ours")


def main() -> None:
    source, target = sys.argv[1:3]
    image = bytearray(open(source, "rb").read())
    at = record_offset(image) + ALGORITHM_AT
    if struct.unpack_from("<I", image, at)[0] == 0:
        sys.exit("the installer carries no digests")
    struct.pack_into("<I", image, at, 0)
    open(target, "wb").write(image)


if __name__ == "__main__":
    main()
