#!/usr/bin/env python3
"""Fails a Windows program whose import address table holds an empty slot
before the end of a list.

The linker lays the import name tables of every list (start-up imports and
delay-loaded ones alike) directly in front of the import address table, entry
for entry: a slot whose name entry names a function must hold an address (a
start-up import's name, or a delay-loaded import's loader thunk). A zero there
is a call that jumps to address 0.

usage: check-import-slots.py FILE...
       check-import-slots.py --plant-fault FILE OUT   (writes FILE with its last
       named slot emptied, to show that the check catches it)
"""
import struct
import sys


def read_image(path):
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    sections_count = struct.unpack_from("<H", data, pe + 6)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    wide = magic == 0x20B
    directories = optional + (112 if wide else 96)
    sections = []
    table = optional + optional_size
    for i in range(sections_count):
        name, vsize, rva, rawsize, rawptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
        sections.append((rva, max(vsize, rawsize), rawptr, rawsize))

    def directory(index):
        return struct.unpack_from("<II", data, directories + 8 * index)

    def at(rva, size):
        for start, length, rawptr, rawsize in sections:
            if start <= rva and rva + size <= start + length:
                offset = rva - start
                if offset + size > rawsize:
                    return bytes(size)
                return data[rawptr + offset:rawptr + offset + size]
        raise ValueError("RVA 0x%x is in no section" % rva)

    def offset_of(rva):
        for start, length, rawptr, rawsize in sections:
            if start <= rva < start + min(length, rawsize):
                return rawptr + rva - start
        raise ValueError("RVA 0x%x is in no section" % rva)

    return wide, directory, at, offset_of


def plant_fault(path, out):
    wide, directory, at, offset_of = read_image(path)
    unit = 8 if wide else 4
    iat_rva, iat_size = directory(12)
    data = bytearray(open(path, "rb").read())
    names = at(iat_rva - iat_size, iat_size)
    named = [i for i in range(iat_size // unit) if any(names[i * unit:(i + 1) * unit])]
    offset = offset_of(iat_rva + named[-1] * unit)
    data[offset:offset + unit] = bytes(unit)
    open(out, "wb").write(data)


def check(path):
    wide, directory, at, _ = read_image(path)
    unit = 8 if wide else 4
    fmt = "<Q" if wide else "<I"
    iat_rva, iat_size = directory(12)
    imports_rva, _ = directory(1)
    if iat_size == 0:
        return ["no import address table"], 0
    problems = []
    # Confirm the layout: each start-up list's name table sits one table's
    # length in front of its address list.
    offset = imports_rva
    while True:
        original, _, _, name, first = struct.unpack_from("<IIIII", at(offset, 20))
        if original == 0 and first == 0:
            break
        if original and first - original != iat_size:
            problems.append("import name table is not laid in front of the address table")
            return problems, 0
        offset += 20
    names = at(iat_rva - iat_size, iat_size)
    slots = at(iat_rva, iat_size)
    count = iat_size // unit
    for i in range(count):
        name = struct.unpack_from(fmt, names, i * unit)[0]
        slot = struct.unpack_from(fmt, slots, i * unit)[0]
        if name and not slot:
            ordinal_flag = 1 << (63 if wide else 31)
            if name & ordinal_flag:
                label = "ordinal %d" % (name & 0xFFFF)
            else:
                raw = at(name + 2, 1)
                text = b""
                pos = name + 2
                while raw != b"\0" and len(text) < 256:
                    text += raw
                    pos += 1
                    raw = at(pos, 1)
                label = text.decode("ascii", "replace")
            problems.append("empty import slot %d of %d: %s" % (i, count, label))
    return problems, count


def main(paths):
    status = 0
    for path in paths:
        try:
            problems, count = check(path)
        except (OSError, ValueError, struct.error) as error:
            problems, count = ["cannot be read: %s" % error], 0
        for problem in problems:
            print("FAIL %s: %s" % (path, problem))
        if problems:
            status = 1
        else:
            print("ok   %s: %d import slots, none empty before its list's end" % (path, count))
    return status


if __name__ == "__main__":
    if sys.argv[1:2] == ["--plant-fault"]:
        plant_fault(sys.argv[2], sys.argv[3])
        sys.exit(0)
    sys.exit(main(sys.argv[1:]))
