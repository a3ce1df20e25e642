"""Gives a linked Windows program the time stamps the linker leaves empty.

    python3 stamp_pe_times.py <program.exe> <seconds since 1970>

The linker writes SOURCE_DATE_EPOCH as the link time; the resource compiler
and the linker leave the resource directory tables' time stamps and the
version resource's file date at 0. This sets them to the same time, so that
every time stamp of a program is the time of the commit it was built from,
and recomputes the image checksum when the linker wrote one. Rewrites the
file in place; the same input gives the same output.
"""

import struct
import sys

RESOURCE_DIRECTORY = 2
RT_VERSION = 16
VERSION_SIGNATURE = struct.pack("<I", 0xFEEF04BD)  # VS_FIXEDFILEINFO
FILETIME_UNIX_EPOCH = 116444736000000000  # 1970 in 100 ns steps from 1601


def stamp(data, seconds):
    header = struct.unpack_from("<I", data, 0x3C)[0]
    if data[:2] != b"MZ" or data[header:header + 4] != b"PE\0\0":
        raise ValueError("not a Windows program")
    section_count, optional_size = (struct.unpack_from("<H", data, header + 6)[0],
                                    struct.unpack_from("<H", data, header + 20)[0])
    optional = header + 24
    wide = struct.unpack_from("<H", data, optional)[0] == 0x20B
    directories = optional + (112 if wide else 96)
    rva = struct.unpack_from("<I", data, directories + 8 * RESOURCE_DIRECTORY)[0]
    sections = [struct.unpack_from("<IIII", data, optional + optional_size + 40 * i + 8)
                for i in range(section_count)]

    def offset(address):
        for virtual_size, start, raw_size, raw_offset in sections:
            if start <= address < start + max(virtual_size, raw_size):
                return raw_offset + address - start
        raise ValueError("address %#x lies in no section" % address)

    if rva:
        stamp_resources(data, offset(rva), offset, seconds)
    checksum_at = optional + 64
    if struct.unpack_from("<I", data, checksum_at)[0]:
        struct.pack_into("<I", data, checksum_at, image_checksum(data, checksum_at))


def stamp_resources(data, base, offset, seconds):
    """Every directory table's stamp, and the file date of each version resource."""
    file_time = FILETIME_UNIX_EPOCH + seconds * 10**7
    pending = [(0, ())]
    while pending:
        table, path = pending.pop()
        struct.pack_into("<I", data, base + table + 4, seconds)
        named, numbered = struct.unpack_from("<HH", data, base + table + 12)
        for index in range(named + numbered):
            name, target = struct.unpack_from("<II", data, base + table + 16 + 8 * index)
            child = path + (name,)
            if target & 0x80000000:
                pending.append((target & 0x7FFFFFFF, child))
            elif child[0] == RT_VERSION:
                address, size = struct.unpack_from("<II", data, base + target)
                start = offset(address)
                at = bytes(data[start:start + size]).find(VERSION_SIGNATURE)
                if at >= 0 and at + 52 <= size:
                    struct.pack_into("<II", data, start + at + 44, file_time >> 32,
                                     file_time & 0xFFFFFFFF)


def image_checksum(data, checksum_at):
    """The PE image checksum: the 16-bit words summed with their carries
    folded back in, the checksum field counted as 0, plus the file's length."""
    image = bytearray(data)
    image[checksum_at:checksum_at + 4] = b"\0\0\0\0"
    if len(image) % 2:
        image.append(0)
    total = 0
    for (word,) in struct.iter_unpack("<H", image):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def main(argv):
    path, seconds = argv[1], int(argv[2])
    with open(path, "rb") as f:
        data = bytearray(f.read())
    stamp(data, seconds)
    with open(path, "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
