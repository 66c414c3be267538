#!/usr/bin/env python3
"""Writes and reads Quake PAK files straight from the byte layout, independently of QVR3d.

Layout (all integers unsigned 32-bit little-endian):
  0   "PACK"
  4   directory offset D
  8   directory length L (64 bytes per record)
  D   records: 56-byte name (zero-padded; a 56-character name has no NUL), start, size

  make_pak.py write OUT.pak [--layout standard|unsafe] [--expect DIR]
      Writes a test archive. With --expect, every member with a safe name is also written as a
      plain file below DIR, and DIR/manifest.txt lists "name<TAB>size" in directory order.
  make_pak.py dump FILE.pak
      Prints "name<TAB>start<TAB>size" per record, after checking the header and bounds.
"""
import os
import struct
import sys

NAME_56 = "textures/" + "w" * 43 + ".wal"  # exactly 56 characters, with a folder part
BASE_56 = "b" * 52 + ".dat"  # exactly 56 characters, no folder part


def member_bytes(seed, size):
    # A simple LCG so that every member has distinct, reproducible, non-text content.
    out = bytearray(size)
    state = seed * 2654435761 & 0xFFFFFFFF
    for i in range(size):
        state = (state * 1103515245 + 12345) & 0xFFFFFFFF
        out[i] = state >> 16 & 0xFF
    return bytes(out)


def standard_members():
    members = [
        ("readme.txt", b"Members of this archive were written by make_pak.py.\n"),
        ("maps/e1m1.bsp", member_bytes(1, 5000)),
        ("sound/ambience/wind 1.wav", member_bytes(2, 777)),
        (NAME_56, member_bytes(3, 300)),
        (BASE_56, member_bytes(4, 56)),
        ("all_bytes.bin", bytes(range(256)) * 3),
        ("empty.txt", b""),
        ("Case.TXT", b"upper\n"),
        ("case.txt", b"lower\n"),
        ("gfx\\palette.lmp", member_bytes(5, 768)),  # Windows-style separator inside a name
    ]
    for name, _ in members:
        assert len(name) <= 56, name
    return members


def unsafe_members():
    return [
        ("good.txt", b"good\n"),
        ("../escape.txt", b"escaped\n"),
        ("/abs.txt", b"absolute\n"),
        ("sub/../../up.txt", b"up\n"),
        ("ok/inner.txt", b"inner\n"),
    ]


def is_safe(name):
    if not name or name[0] in "/\\" or (len(name) > 1 and name[1] == ":"):
        return False
    return all(part not in ("", ".", "..") for part in name.replace("\\", "/").split("/"))


def write_pak(path, members):
    """Member data goes in reverse directory order with alignment gaps, and the directory last,
    so that a reader must follow the recorded offsets rather than assume packed data."""
    data = bytearray(b"PACK" + bytes(8))
    starts = [0] * len(members)
    for index in reversed(range(len(members))):
        while len(data) % 4:
            data += b"\xee"
        starts[index] = len(data)
        data += members[index][1]
    data += b"\xee" * 9  # slack between the data and the directory
    dir_offset = len(data)
    for index, (name, content) in enumerate(members):
        encoded = name.encode("latin-1")
        data += encoded + bytes(56 - len(encoded))
        data += struct.pack("<II", starts[index], len(content))
    struct.pack_into("<II", data, 4, dir_offset, 64 * len(members))
    with open(path, "wb") as f:
        f.write(data)


def write_expected(folder, members):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "manifest.txt"), "w", encoding="latin-1") as manifest:
        for name, content in members:
            manifest.write("%s\t%d\n" % (name, len(content)))
            if not is_safe(name):
                continue
            target = os.path.join(folder, "files", *name.replace("\\", "/").split("/"))
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target, "wb") as f:
                f.write(content)


def dump_pak(path):
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 12 or data[:4] != b"PACK":
        sys.exit("%s: not a PAK file" % path)
    dir_offset, dir_length = struct.unpack_from("<II", data, 4)
    if dir_offset + dir_length > len(data):
        sys.exit("%s: directory past the end of the file" % path)
    for record in range(dir_length // 64):
        at = dir_offset + 64 * record
        name = data[at:at + 56].split(b"\0", 1)[0].decode("latin-1")
        start, size = struct.unpack_from("<II", data, at + 56)
        if start + size > len(data):
            sys.exit("%s: member %s past the end of the file" % (path, name))
        print("%s\t%d\t%d" % (name, start, size))


def main(argv):
    if len(argv) >= 3 and argv[1] == "dump":
        dump_pak(argv[2])
        return 0
    if len(argv) < 3 or argv[1] != "write":
        sys.stderr.write(__doc__)
        return 2
    out, layout, expect = argv[2], "standard", None
    rest = argv[3:]
    while rest:
        option = rest.pop(0)
        if option == "--layout" and rest:
            layout = rest.pop(0)
        elif option == "--expect" and rest:
            expect = rest.pop(0)
        else:
            sys.stderr.write(__doc__)
            return 2
    if layout not in ("standard", "unsafe"):
        sys.stderr.write("unknown layout %s\n" % layout)
        return 2
    members = standard_members() if layout == "standard" else unsafe_members()
    write_pak(out, members)
    if expect:
        write_expected(expect, members)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
