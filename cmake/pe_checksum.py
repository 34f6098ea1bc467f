#!/usr/bin/env python3
"""pe_checksum.py stamp|verify FILE: the PE image checksum, post-link.

stamp   writes the checksum into the optional header (any step that changes the image
        afterwards must stamp again)
verify  exits 1 unless the stored checksum is non-zero and correct
"""
import struct
import sys


def checksum_offset(image: bytes) -> int:
    e_lfanew = struct.unpack_from("<I", image, 0x3C)[0]
    if image[e_lfanew:e_lfanew + 4] != b"PE\0\0":
        raise SystemExit("not a PE image")
    return e_lfanew + 4 + 20 + 64  # signature, file header, then CheckSum in the optional header


def compute(image: bytes, offset: int) -> int:
    data = bytearray(image)
    data[offset:offset + 4] = b"\0\0\0\0"
    if len(data) & 1:
        data.append(0)
    total = 0
    for (word,) in struct.iter_unpack("<H", bytes(data)):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return (total + len(image)) & 0xFFFFFFFF


def main() -> int:
    if len(sys.argv) != 3 or sys.argv[1] not in ("stamp", "verify"):
        print(__doc__, file=sys.stderr)
        return 2
    path = sys.argv[2]
    with open(path, "rb") as f:
        image = f.read()
    offset = checksum_offset(image)
    value = compute(image, offset)
    if sys.argv[1] == "stamp":
        with open(path, "r+b") as f:
            f.seek(offset)
            f.write(struct.pack("<I", value))
        return 0
    stored = struct.unpack_from("<I", image, offset)[0]
    print(f"stored {stored:#010x} computed {value:#010x}")
    return 0 if stored and stored == value else 1


if __name__ == "__main__":
    sys.exit(main())
