"""A small reader of Windows program files (PE images) for the tests (Python 3
standard library only): the time stamps an image carries and the programs it
carries as resources.

    image = pe_image.PeImage(data)
    image.time_stamps()      # [("link time", 1796742931), ...]
    image.embedded_images()  # [("BINRES/101/1033", PeImage), ...]
    image.file_version()     # (1, 0, 0, 0)

Offsets are checked against the data; a malformed image raises PeImageError.
"""

import struct

VERSION_SIGNATURE = 0xFEEF04BD  # VS_FIXEDFILEINFO
RT_VERSION = 16
DEBUG_DIRECTORY = 6
RESOURCE_DIRECTORY = 2
# A FILETIME counts 100 ns steps from 1601; Unix time counts seconds from 1970.
FILETIME_UNIX_EPOCH = 116444736000000000


class PeImageError(ValueError):
    pass


class PeImage:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PeImageError("no MZ header")
        header = self._unpack("<I", 0x3C)[0]
        if data[header:header + 4] != b"PE\0\0":
            raise PeImageError("no PE signature")
        _, section_count, self.link_time, _, _, optional_size, _ = self._unpack("<HHIIIHH", header + 4)
        optional = header + 24
        wide = self._unpack("<H", optional)[0] == 0x20B  # PE32+
        directory_count = self._unpack("<I", optional + (108 if wide else 92))[0]
        first_directory = optional + (112 if wide else 96)
        self.directories = [self._unpack("<II", first_directory + 8 * i) for i in range(min(directory_count, 16))]
        first_section = optional + optional_size
        self.sections = [self._unpack("<IIII", first_section + 40 * i + 8) for i in range(section_count)]

    def _unpack(self, layout, offset):
        if offset < 0 or offset + struct.calcsize(layout) > len(self.data):
            raise PeImageError(f"offset {offset:#x} lies outside the image")
        return struct.unpack_from(layout, self.data, offset)

    def _offset(self, rva):
        for virtual_size, address, raw_size, raw_offset in self.sections:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw_offset + rva - address
        raise PeImageError(f"address {rva:#x} lies in no section")

    def _directory(self, index):
        rva, size = self.directories[index] if index < len(self.directories) else (0, 0)
        return (self._offset(rva), size) if rva else (None, 0)

    def _resource_tree(self):
        """(path, data) of every resource, and (path, time stamp) of every
        directory table; a path is the type, name and language, each a number
        or a name."""
        base, _ = self._directory(RESOURCE_DIRECTORY)
        leaves, stamps = [], []
        if base is None:
            return leaves, stamps
        pending = [((), 0)]
        while pending:
            path, table = pending.pop()
            if len(path) > 3:
                raise PeImageError("resource tree deeper than type, name and language")
            _, stamp, _, _, named, numbered = self._unpack("<IIHHHH", base + table)
            stamps.append(("/".join(path) or "root", stamp))
            for index in range(named + numbered):
                name, target = self._unpack("<II", base + table + 16 + 8 * index)
                child = path + (self._resource_name(base, name),)
                if target & 0x80000000:
                    pending.append((child, target & 0x7FFFFFFF))
                else:
                    rva, size, _, _ = self._unpack("<IIII", base + target)
                    start = self._offset(rva)
                    leaves.append((child, self.data[start:start + size]))
        return leaves, stamps

    def _resource_name(self, base, name):
        if not name & 0x80000000:
            return str(name)
        at = base + (name & 0x7FFFFFFF)
        length = self._unpack("<H", at)[0]
        return self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")

    def time_stamps(self):
        """(where, seconds since 1970) of every time stamp: the link time, the
        resource directory tables, the debug directory entries and the version
        resource's file date. A stamp the tools left empty reads 0."""
        stamps = [("link time", self.link_time)]
        leaves, tables = self._resource_tree()
        stamps += [(f"resource directory {path}", stamp) for path, stamp in tables]
        debug, size = self._directory(DEBUG_DIRECTORY)
        for index in range(size // 28 if debug is not None else 0):
            stamps.append((f"debug directory entry {index}", self._unpack("<I", debug + 28 * index + 4)[0]))
        for path, data in leaves:
            at = data.find(struct.pack("<I", VERSION_SIGNATURE))
            if path[0] == str(RT_VERSION) and at >= 0 and at + 52 <= len(data):
                most, least = struct.unpack_from("<II", data, at + 44)
                file_time = (most << 32) | least
                seconds = (file_time - FILETIME_UNIX_EPOCH) // 10**7 if file_time else 0
                stamps.append(("version resource file date", seconds))
        return stamps

    def file_version(self):
        """(major, minor, build, revision) of the fixed part of the image's own
        version resource, or None without one."""
        leaves, _ = self._resource_tree()
        for path, data in leaves:
            at = data.find(struct.pack("<I", VERSION_SIGNATURE))
            if path[0] == str(RT_VERSION) and at >= 0 and at + 16 <= len(data):
                most, least = struct.unpack_from("<II", data, at + 8)
                return (most >> 16, most & 0xFFFF, least >> 16, least & 0xFFFF)
        return None

    def embedded_images(self):
        """(resource path, PeImage) of every resource that is itself a program."""
        leaves, _ = self._resource_tree()
        return [("/".join(path), PeImage(data)) for path, data in leaves if data[:2] == b"MZ"]
