"""A small reader of minidump files for the tests (Python 3 standard library only).

    dump = minidump.read("x.dmp")
    dump.flags, dump.comment_w.text, dump.exception.code, dump.memory64_list.total_bytes

Every offset and size is checked against the file before it is used; a
malformed or truncated file raises MinidumpError with what was wrong.
Run as a program it prints a summary of the dump files it is given.
"""

import struct
import sys
from collections import namedtuple

SIGNATURE = 0x504D444D  # "MDMP"
VERSION_LOW = 0xA793

UNUSED_STREAM = 0
THREAD_LIST_STREAM = 3
MODULE_LIST_STREAM = 4
MEMORY_LIST_STREAM = 5
EXCEPTION_STREAM = 6
SYSTEM_INFO_STREAM = 7
MEMORY64_LIST_STREAM = 9
COMMENT_STREAM_A = 10
COMMENT_STREAM_W = 11
HANDLE_DATA_STREAM = 12
MISC_INFO_STREAM = 15
MEMORY_INFO_LIST_STREAM = 16
THREAD_INFO_LIST_STREAM = 17
TOKEN_STREAM = 19

STREAM_NAMES = {
    UNUSED_STREAM: "Unused",
    THREAD_LIST_STREAM: "ThreadList",
    MODULE_LIST_STREAM: "ModuleList",
    MEMORY_LIST_STREAM: "MemoryList",
    EXCEPTION_STREAM: "Exception",
    SYSTEM_INFO_STREAM: "SystemInfo",
    8: "ThreadExList",
    MEMORY64_LIST_STREAM: "Memory64List",
    COMMENT_STREAM_A: "CommentA",
    COMMENT_STREAM_W: "CommentW",
    HANDLE_DATA_STREAM: "HandleData",
    13: "FunctionTable",
    14: "UnloadedModuleList",
    MISC_INFO_STREAM: "MiscInfo",
    MEMORY_INFO_LIST_STREAM: "MemoryInfoList",
    THREAD_INFO_LIST_STREAM: "ThreadInfoList",
    18: "HandleOperationList",
    TOKEN_STREAM: "Token",
}

ARCH_X86 = 0
ARCH_AMD64 = 9

HEADER_SIZE = 32
DIRECTORY_ENTRY_SIZE = 12
THREAD_SIZE = 48
MODULE_SIZE = 108
MEMORY_DESCRIPTOR_SIZE = 16
MEMORY_DESCRIPTOR64_SIZE = 16
EXCEPTION_STREAM_SIZE = 168
SYSTEM_INFO_SIZE = 56

Stream = namedtuple("Stream", "type size rva")
Comment = namedtuple("Comment", "text includes_terminator size")
ExceptionInfo = namedtuple("ExceptionInfo", "thread_id code flags record address parameters")
SystemInfo = namedtuple(
    "SystemInfo", "processor_architecture number_of_processors major minor build platform_id")
MemoryRange = namedtuple("MemoryRange", "start size rva")
MemoryList = namedtuple("MemoryList", "count total_bytes ranges")


class MinidumpError(ValueError):
    """The file is not a well-formed minidump."""


class Minidump:
    def __init__(self, data, name="<bytes>"):
        self.data = bytes(data)
        self.name = name
        self._parse_header()
        self._parse_directory()
        self.comment_w = self._parse_comment_w()
        self.exception = self._parse_exception()
        self.system_info = self._parse_system_info()
        self.thread_ids = self._parse_threads()
        self.module_names = self._parse_modules()
        self.memory_list = self._parse_memory_list()
        self.memory64_list = self._parse_memory64_list()
        self.process_id = self._parse_misc_info()

    # -- bounds-checked access ------------------------------------------------

    def _fail(self, what):
        raise MinidumpError("%s: %s" % (self.name, what))

    def _bytes(self, offset, size, what):
        if offset < 0 or size < 0 or offset + size > len(self.data):
            self._fail("%s at 0x%x (%d bytes) lies outside the file of %d bytes"
                       % (what, offset, size, len(self.data)))
        return self.data[offset:offset + size]

    def _unpack(self, fmt, offset, what):
        return struct.unpack(fmt, self._bytes(offset, struct.calcsize(fmt), what))

    # -- header and directory -------------------------------------------------

    def _parse_header(self):
        if len(self.data) < HEADER_SIZE:
            self._fail("file of %d bytes is shorter than a header" % len(self.data))
        (self.signature, self.version, self.stream_count, self.directory_rva,
         self.checksum, self.timestamp, self.flags) = struct.unpack_from("<IIIIIIQ", self.data, 0)
        if self.signature != SIGNATURE:
            self._fail("signature 0x%08x is not MDMP" % self.signature)
        if self.version & 0xFFFF != VERSION_LOW:
            self._fail("version 0x%08x does not carry 0x%04x" % (self.version, VERSION_LOW))

    def _parse_directory(self):
        raw = self._bytes(self.directory_rva, self.stream_count * DIRECTORY_ENTRY_SIZE,
                          "stream directory")
        self.streams = []
        for i in range(self.stream_count):
            stype, size, rva = struct.unpack_from("<III", raw, i * DIRECTORY_ENTRY_SIZE)
            if stype != UNUSED_STREAM:
                self._bytes(rva, size, "stream %d (type %d)" % (i, stype))
            self.streams.append(Stream(stype, size, rva))

    def stream_types(self):
        return [s.type for s in self.streams]

    def stream(self, stype):
        """The only stream of that type, or None; a second one is malformed."""
        found = [s for s in self.streams if s.type == stype]
        if len(found) > 1:
            self._fail("%d streams of type %d" % (len(found), stype))
        return found[0] if found else None

    def stream_data(self, stype):
        s = self.stream(stype)
        return None if s is None else self._bytes(s.rva, s.size, "stream type %d" % stype)

    # -- streams --------------------------------------------------------------

    def _parse_comment_w(self):
        raw = self.stream_data(COMMENT_STREAM_W)
        if raw is None:
            return None
        if len(raw) % 2:
            self._fail("wide comment of odd size %d" % len(raw))
        text = raw.decode("utf-16-le", errors="strict")
        includes_terminator = text.endswith("\0")
        if includes_terminator:
            text = text[:-1]
        return Comment(text, includes_terminator, len(raw))

    def _parse_exception(self):
        raw = self.stream_data(EXCEPTION_STREAM)
        if raw is None:
            return None
        if len(raw) < EXCEPTION_STREAM_SIZE:
            self._fail("exception stream of %d bytes is shorter than %d"
                       % (len(raw), EXCEPTION_STREAM_SIZE))
        thread_id, _, code, flags, record, address, nparams, _ = struct.unpack_from(
            "<IIIIQQII", raw, 0)
        if nparams > 15:
            self._fail("exception with %d parameters" % nparams)
        params = struct.unpack_from("<%dQ" % nparams, raw, 40)
        return ExceptionInfo(thread_id, code, flags, record, address, list(params))

    def _parse_system_info(self):
        raw = self.stream_data(SYSTEM_INFO_STREAM)
        if raw is None:
            return None
        if len(raw) < SYSTEM_INFO_SIZE:
            self._fail("system info of %d bytes is shorter than %d" % (len(raw), SYSTEM_INFO_SIZE))
        arch, _, _, nproc, _, major, minor, build, platform = struct.unpack_from(
            "<HHHBBIIII", raw, 0)
        return SystemInfo(arch, nproc, major, minor, build, platform)

    def _counted(self, stype, count_fmt, entry_size, what):
        """The entries of a list stream whose count precedes them."""
        raw = self.stream_data(stype)
        if raw is None:
            return None, None
        head = struct.calcsize(count_fmt)
        if len(raw) < head:
            self._fail("%s of %d bytes has no count" % (what, len(raw)))
        count = struct.unpack_from(count_fmt, raw, 0)[0]
        if head + count * entry_size > len(raw):
            self._fail("%s claims %d entries of %d bytes in %d bytes"
                       % (what, count, entry_size, len(raw)))
        return raw, count

    def _parse_threads(self):
        raw, count = self._counted(THREAD_LIST_STREAM, "<I", THREAD_SIZE, "thread list")
        if raw is None:
            return []
        return [struct.unpack_from("<I", raw, 4 + i * THREAD_SIZE)[0] for i in range(count)]

    def _read_string(self, rva):
        (length,) = self._unpack("<I", rva, "module name length")
        if length % 2:
            self._fail("module name of odd length %d" % length)
        return self._bytes(rva + 4, length, "module name").decode("utf-16-le")

    def _parse_modules(self):
        raw, count = self._counted(MODULE_LIST_STREAM, "<I", MODULE_SIZE, "module list")
        if raw is None:
            return []
        names = []
        for i in range(count):
            (name_rva,) = struct.unpack_from("<I", raw, 4 + i * MODULE_SIZE + 20)
            names.append(self._read_string(name_rva))
        return names

    def _parse_memory_list(self):
        raw, count = self._counted(MEMORY_LIST_STREAM, "<I", MEMORY_DESCRIPTOR_SIZE, "memory list")
        if raw is None:
            return None
        ranges = []
        for i in range(count):
            start, size, rva = struct.unpack_from("<QII", raw, 4 + i * MEMORY_DESCRIPTOR_SIZE)
            self._bytes(rva, size, "memory range %d" % i)
            ranges.append(MemoryRange(start, size, rva))
        return MemoryList(count, sum(r.size for r in ranges), ranges)

    def _parse_memory64_list(self):
        raw, count = self._counted(MEMORY64_LIST_STREAM, "<QQ", MEMORY_DESCRIPTOR64_SIZE,
                                   "memory64 list")
        if raw is None:
            return None
        base_rva = struct.unpack_from("<Q", raw, 8)[0]
        ranges = []
        rva = base_rva
        for i in range(count):
            start, size = struct.unpack_from("<QQ", raw, 16 + i * MEMORY_DESCRIPTOR64_SIZE)
            ranges.append(MemoryRange(start, size, rva))
            rva += size
        self._bytes(base_rva, rva - base_rva, "memory64 data")
        return MemoryList(count, rva - base_rva, ranges)

    def _parse_misc_info(self):
        """The dumped process's identifier from the misc info stream, or None."""
        data = self.stream_data(MISC_INFO_STREAM)
        if data is None:
            return None
        if len(data) < 12:
            self._fail("misc info stream of %d bytes" % len(data))
        size, flags, process_id = struct.unpack_from("<III", data)
        if size > len(data):
            self._fail("misc info of %d bytes in a stream of %d" % (size, len(data)))
        return process_id if flags & 1 else None  # MINIDUMP_MISC1_PROCESS_ID

    # -- summary --------------------------------------------------------------

    def summary_lines(self):
        lines = ["file:        %s (%d bytes)" % (self.name, len(self.data)),
                 "flags:       0x%x" % self.flags,
                 "streams:     %d: %s" % (self.stream_count, ", ".join(
                     STREAM_NAMES.get(t, str(t)) for t in self.stream_types()))]
        if self.system_info:
            arch = {ARCH_AMD64: "amd64", ARCH_X86: "x86"}.get(
                self.system_info.processor_architecture,
                str(self.system_info.processor_architecture))
            lines.append("system:      %s, %d processors, Windows %d.%d build %d" % (
                arch, self.system_info.number_of_processors, self.system_info.major,
                self.system_info.minor, self.system_info.build))
        lines.append("threads:     %d (%s)" % (
            len(self.thread_ids), ", ".join(str(t) for t in self.thread_ids)))
        lines.append("modules:     %d" % len(self.module_names))
        for name in self.module_names:
            lines.append("             %s" % name)
        for label, mem in (("memory:", self.memory_list), ("memory64:", self.memory64_list)):
            if mem is not None:
                lines.append("%-12s %d ranges, %d bytes" % (label, mem.count, mem.total_bytes))
        if self.exception:
            lines.append("exception:   code 0x%08x at 0x%x, thread %d" % (
                self.exception.code, self.exception.address, self.exception.thread_id))
        if self.comment_w:
            lines.append("comment:     %r%s" % (self.comment_w.text, "" if
                                                self.comment_w.includes_terminator else
                                                " (no terminating zero)"))
        return lines


def read(path):
    with open(path, "rb") as f:
        return Minidump(f.read(), str(path))


def main(argv):
    if len(argv) < 2:
        print("usage: minidump.py FILE.dmp...", file=sys.stderr)
        return 2
    status = 0
    for path in argv[1:]:
        try:
            print("\n".join(read(path).summary_lines()))
        except (OSError, MinidumpError) as error:
            print("minidump: %s" % error, file=sys.stderr)
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
