// The start of every minidump file: its header and the stream directory the
// header points to. Read by the check of a written dump and by the reading of
// a dump's facts.
#pragma once

#include <cstdint>

constexpr uint32_t kMinidumpSignature = 0x504D444D;  // "MDMP"
constexpr uint32_t kMinidumpVersion = 0xA793;        // the low word of the header's version

#pragma pack(push, 1)
struct MinidumpHeader {
    uint32_t signature;
    uint32_t version;
    uint32_t streamCount;
    uint32_t directoryRva;
    uint32_t checkSum;
    uint32_t timeDateStamp;
    uint64_t flags;
};
struct MinidumpDirectoryEntry {
    uint32_t type;
    uint32_t size;
    uint32_t rva;
};
#pragma pack(pop)
static_assert(sizeof(MinidumpHeader) == 32, "minidump header is 32 bytes");
static_assert(sizeof(MinidumpDirectoryEntry) == 12, "directory entry is 12 bytes");
