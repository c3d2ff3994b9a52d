#!/usr/bin/env python3
"""Finishes a linked driver image in place: marks its INIT section discardable (the system frees the
entry point's code once DriverEntry has returned; GNU ld has no section flag for it) and writes the PE
checksum, which the kernel's loader verifies for drivers and which must be computed last."""
import struct
import sys

IMAGE_SCN_MEM_DISCARDABLE = 0x02000000


def finish(path):
    with open(path, "rb") as f:
        image = bytearray(f.read())
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise SystemExit(f"{path}: not a PE image")
    sections = struct.unpack_from("<H", image, pe + 6)[0]
    optional_size = struct.unpack_from("<H", image, pe + 20)[0]
    optional = pe + 24
    table = optional + optional_size
    found = False
    for i in range(sections):
        header = table + 40 * i
        if image[header:header + 8].rstrip(b"\0") == b"INIT":
            flags = struct.unpack_from("<I", image, header + 36)[0]
            struct.pack_into("<I", image, header + 36, flags | IMAGE_SCN_MEM_DISCARDABLE)
            found = True
    if not found:
        raise SystemExit(f"{path}: no INIT section")
    checksum_at = optional + 64
    struct.pack_into("<I", image, checksum_at, 0)
    size = len(image)
    if size % 2:
        image.append(0)
    total = 0
    for (word,) in struct.iter_unpack("<H", image):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    struct.pack_into("<I", image, checksum_at, (total + size) & 0xFFFFFFFF)
    with open(path, "wb") as f:
        f.write(image[:size])


if __name__ == "__main__":
    for name in sys.argv[1:]:
        finish(name)
