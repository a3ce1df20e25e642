#include "console/dumpwriter/dump_check.h"

#include <vector>

#include "console/dumpwriter/minidump_layout.h"

namespace {

constexpr uint32_t kMemoryListStream = 5;
constexpr uint32_t kMemory64ListStream = 9;
constexpr uint32_t kMemoryDescriptorSize = 16;

#pragma pack(push, 1)
struct MemoryDescriptor {
    uint64_t start;
    uint32_t size;
    uint32_t rva;
};
struct Memory64Descriptor {
    uint64_t start;
    uint64_t size;
};
#pragma pack(pop)
static_assert(sizeof(MemoryDescriptor) == kMemoryDescriptorSize, "descriptor is 16 bytes");
static_assert(sizeof(Memory64Descriptor) == kMemoryDescriptorSize, "descriptor is 16 bytes");

bool Fits(uint64_t offset, uint64_t size, uint64_t fileSize) {
    return offset <= fileSize && size <= fileSize - offset;
}

// Reads count records of T at offset, after checking that they lie in the file.
template <typename T>
bool ReadRecords(const DumpBytesReader& read, uint64_t fileSize, uint64_t offset, uint64_t count,
                 std::vector<T>* records) {
    if (count > fileSize / sizeof(T) || !Fits(offset, count * sizeof(T), fileSize)) {
        return false;
    }
    records->resize(static_cast<size_t>(count));
    return count == 0 || read(offset, records->data(), static_cast<uint32_t>(count * sizeof(T)));
}

bool MemoryListFits(const DumpBytesReader& read, uint64_t fileSize,
                    const MinidumpDirectoryEntry& entry) {
    uint32_t count = 0;
    if (entry.size < sizeof(count) || !read(entry.rva, &count, sizeof(count))) {
        return false;
    }
    std::vector<MemoryDescriptor> ranges;
    if (!ReadRecords(read, fileSize, uint64_t{entry.rva} + sizeof(count), count, &ranges)) {
        return false;
    }
    for (const MemoryDescriptor& range : ranges) {
        if (!Fits(range.rva, range.size, fileSize)) {
            return false;
        }
    }
    return true;
}

bool Memory64ListFits(const DumpBytesReader& read, uint64_t fileSize,
                      const MinidumpDirectoryEntry& entry) {
    uint64_t head[2] = {};  // number of ranges, offset of the first range's bytes
    if (entry.size < sizeof(head) || !read(entry.rva, head, sizeof(head))) {
        return false;
    }
    std::vector<Memory64Descriptor> ranges;
    if (!ReadRecords(read, fileSize, uint64_t{entry.rva} + sizeof(head), head[0], &ranges)) {
        return false;
    }
    // The ranges' bytes follow each other from the base offset on.
    uint64_t offset = head[1];
    for (const Memory64Descriptor& range : ranges) {
        if (!Fits(offset, range.size, fileSize)) {
            return false;
        }
        offset += range.size;
    }
    return true;
}

}  // namespace

bool DumpExtentsLieInFile(const DumpBytesReader& read, uint64_t fileSize) {
    MinidumpHeader header = {};
    // A dump writer always writes the format's version and some streams; a
    // file with the signature and nothing behind it is no dump.
    if (fileSize < sizeof(MinidumpHeader) || !read(0, &header, sizeof(MinidumpHeader)) ||
        header.signature != kMinidumpSignature || (header.version & 0xFFFF) != kMinidumpVersion ||
        header.streamCount == 0) {
        return false;
    }
    std::vector<MinidumpDirectoryEntry> directory;
    if (!ReadRecords(read, fileSize, header.directoryRva, header.streamCount, &directory)) {
        return false;
    }
    for (const MinidumpDirectoryEntry& entry : directory) {
        if (!Fits(entry.rva, entry.size, fileSize)) {
            return false;
        }
        if (entry.type == kMemoryListStream && !MemoryListFits(read, fileSize, entry)) {
            return false;
        }
        if (entry.type == kMemory64ListStream && !Memory64ListFits(read, fileSize, entry)) {
            return false;
        }
    }
    return true;
}

DumpBytesReader FileBytesReader(HANDLE file) {
    return [file](uint64_t offset, void* buffer, uint32_t count) {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD done = 0;
        return ReadFile(file, buffer, count, &done, &at) && done == count;
    };
}

bool DumpFileIsComplete(HANDLE file) {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size)) {
        return false;
    }
    return DumpExtentsLieInFile(FileBytesReader(file), static_cast<uint64_t>(size.QuadPart));
}

UniqueFile OpenDumpForReading(const wchar_t* path) {
    return UniqueFile(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool DumpFileAtIsComplete(const wchar_t* path) {
    UniqueFile file = OpenDumpForReading(path);
    return file && DumpFileIsComplete(file.Get());
}
