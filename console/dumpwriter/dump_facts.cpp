#include "console/dumpwriter/dump_facts.h"

#include <vector>

#include "common/utf8_text.h"
#include "console/dumpwriter/minidump_layout.h"
#include "console/report/error_report.h"

namespace {

constexpr uint32_t kModuleListStream = 4;
constexpr uint32_t kExceptionStream = 6;
constexpr uint32_t kSystemInfoStream = 7;
constexpr uint32_t kMiscInfoStream = 15;
constexpr uint16_t kArchitectureX86 = 0;
constexpr uint32_t kMiscProcessTimes = 0x2;  // MINIDUMP_MISC1_PROCESS_TIMES
constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr uint32_t kMaxNameBytes = 0x10000;  // a path of 32767 wide characters
constexpr uint32_t kMaxModules = 0x10000;

#pragma pack(push, 1)
struct FixedFileInfo {
    uint32_t signature;
    uint32_t structVersion;
    uint32_t fileVersionMS;
    uint32_t fileVersionLS;
    uint32_t rest[9];
};
struct Module {
    uint64_t base;
    uint32_t size;
    uint32_t checkSum;
    uint32_t timeDateStamp;
    uint32_t nameRva;
    FixedFileInfo version;
    uint64_t cvRecord;
    uint64_t miscRecord;
    uint64_t reserved[2];
};
struct ExceptionStream {
    uint32_t threadId;
    uint32_t alignment;
    uint32_t code;
    uint32_t flags;
    uint64_t record;
    uint64_t address;
    // The parameters and the thread context follow; nothing here needs them.
};
struct MiscInfo {
    uint32_t sizeOfInfo;
    uint32_t flags1;
    uint32_t processId;
    uint32_t processCreateTime;  // seconds since 1970, UTC
    uint32_t processUserTime;
    uint32_t processKernelTime;
};
#pragma pack(pop)
static_assert(sizeof(Module) == 108, "a module list entry is 108 bytes");
static_assert(sizeof(FixedFileInfo) == 52, "VS_FIXEDFILEINFO is 52 bytes");
static_assert(sizeof(MiscInfo) == 24, "the first misc info is 24 bytes");

// The streams of the dump, read once.
class DumpStreams {
  public:
    DumpStreams(const DumpBytesReader& read, uint64_t fileSize) : read_(read), size_(fileSize) {}

    bool ReadDirectory() {
        if (!Read(0, &header_, sizeof(header_)) || header_.signature != kMinidumpSignature ||
            header_.streamCount > size_ / sizeof(MinidumpDirectoryEntry)) {
            return false;
        }
        directory_.resize(header_.streamCount);
        return directory_.empty() ||
               Read(header_.directoryRva, directory_.data(),
                    static_cast<uint32_t>(directory_.size() * sizeof(MinidumpDirectoryEntry)));
    }

    const MinidumpHeader& header() const { return header_; }

    // The first stream of that type whose whole size lies in the file.
    const MinidumpDirectoryEntry* Find(uint32_t type) const {
        for (const MinidumpDirectoryEntry& entry : directory_) {
            if (entry.type == type && Fits(entry.rva, entry.size)) {
                return &entry;
            }
        }
        return nullptr;
    }

    // A fixed-size record at the start of a stream of at least its size.
    template <typename T>
    bool ReadStart(uint32_t type, T* record) const {
        const MinidumpDirectoryEntry* entry = Find(type);
        return entry != nullptr && entry->size >= sizeof(T) && Read(entry->rva, record, sizeof(T));
    }

    bool Read(uint64_t offset, void* buffer, uint32_t size) const {
        return Fits(offset, size) && read_(offset, buffer, size);
    }

    // A MINIDUMP_STRING: a byte length, then that many bytes of UTF-16.
    bool ReadString(uint32_t rva, std::wstring* text) const {
        uint32_t bytes = 0;
        if (!Read(rva, &bytes, sizeof(bytes)) || bytes % 2 != 0 || bytes > kMaxNameBytes) {
            return false;
        }
        std::wstring value(bytes / 2, L'\0');
        if (bytes != 0 && !Read(uint64_t{rva} + sizeof(bytes), value.data(), bytes)) {
            return false;
        }
        *text = std::move(value);
        return true;
    }

  private:
    bool Fits(uint64_t offset, uint64_t size) const {
        return offset <= size_ && size <= size_ - offset;
    }

    const DumpBytesReader& read_;
    uint64_t size_;
    MinidumpHeader header_ = {};
    std::vector<MinidumpDirectoryEntry> directory_;
};

std::vector<Module> ReadModules(const DumpStreams& streams) {
    const MinidumpDirectoryEntry* entry = streams.Find(kModuleListStream);
    uint32_t count = 0;
    if (entry == nullptr || entry->size < sizeof(count) ||
        !streams.Read(entry->rva, &count, sizeof(count)) || count > kMaxModules ||
        sizeof(count) + uint64_t{count} * sizeof(Module) > entry->size) {
        return {};
    }
    std::vector<Module> modules(count);
    if (count != 0 && !streams.Read(entry->rva + sizeof(count), modules.data(),
                                    static_cast<uint32_t>(count * sizeof(Module)))) {
        return {};
    }
    return modules;
}

// A 32-bit process's addresses may be written sign-extended to 64 bits.
uint64_t Address(uint64_t value, bool x86) {
    return x86 ? value & 0xFFFFFFFF : value;
}

std::wstring FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

DumpFault FaultAt(const ExceptionStream& exception, const std::vector<Module>& modules,
                  const DumpStreams& streams, bool x86) {
    DumpFault fault;
    fault.code = exception.code;
    fault.address = Address(exception.address, x86);
    for (const Module& module : modules) {
        const uint64_t base = Address(module.base, x86);
        std::wstring name;
        if (fault.address >= base && fault.address - base < module.size &&
            streams.ReadString(module.nameRva, &name)) {
            fault.module = FileNameOf(name);
            fault.offset = fault.address - base;
            break;
        }
    }
    return fault;
}

std::optional<std::wstring> FileVersion(const FixedFileInfo& info) {
    if (info.signature != kFixedFileInfoSignature) {
        return std::nullopt;
    }
    return std::to_wstring(info.fileVersionMS >> 16) + L"." +
           std::to_wstring(info.fileVersionMS & 0xFFFF) + L"." +
           std::to_wstring(info.fileVersionLS >> 16) + L"." +
           std::to_wstring(info.fileVersionLS & 0xFFFF);
}

std::string LowerHex(uint64_t value) {
    std::string digits;
    do {
        digits.insert(digits.begin(), "0123456789abcdef"[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return digits;
}

std::optional<uint64_t> ProcessMilliseconds(const DumpStreams& streams) {
    MiscInfo misc = {};
    if (!streams.ReadStart(kMiscInfoStream, &misc) || (misc.flags1 & kMiscProcessTimes) == 0 ||
        misc.processCreateTime == 0 || misc.processCreateTime > streams.header().timeDateStamp) {
        return std::nullopt;
    }
    return uint64_t{streams.header().timeDateStamp - misc.processCreateTime} * 1000;
}

}  // namespace

bool ReadDumpFacts(const DumpBytesReader& read, uint64_t fileSize, DumpFacts* facts) {
    DumpStreams streams(read, fileSize);
    if (!streams.ReadDirectory()) {
        return false;
    }
    DumpFacts found;
    uint16_t architecture = 0xFFFF;
    const bool x86 =
        streams.ReadStart(kSystemInfoStream, &architecture) && architecture == kArchitectureX86;
    const std::vector<Module> modules = ReadModules(streams);
    // The main module comes first in the list.
    if (!modules.empty() && streams.ReadString(modules[0].nameRva, &found.imagePath)) {
        found.fileVersion = FileVersion(modules[0].version);
    }
    found.processMilliseconds = ProcessMilliseconds(streams);
    ExceptionStream exception = {};
    if (streams.ReadStart(kExceptionStream, &exception)) {
        found.fault = FaultAt(exception, modules, streams, x86);
    }
    *facts = std::move(found);
    return true;
}

bool ReadDumpFileFacts(HANDLE file, DumpFacts* facts) {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size)) {
        return false;
    }
    return ReadDumpFacts(FileBytesReader(file), static_cast<uint64_t>(size.QuadPart), facts);
}

std::wstring ImageFileName(const DumpFacts& facts) {
    const std::wstring name = FileNameOf(facts.imagePath);
    return name.empty() ? L"?" : name;
}

std::wstring ProductName(const DumpFacts& facts) {
    const std::wstring name = ImageFileName(facts);
    const size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos || dot == 0 ? name : name.substr(0, dot);
}

std::wstring VersionText(const DumpFacts& facts) {
    return facts.fileVersion.value_or(L"0.0.0.0");
}

std::string DumpSignature(const DumpFacts& facts, const std::string& triggerKind) {
    if (!facts.fault) {
        return Utf8FromWide(ImageFileName(facts).c_str()) + ":" + triggerKind;
    }
    const DumpFault& fault = *facts.fault;
    // Without a module the address alone would differ from machine to machine.
    const std::string place =
        fault.module.empty() ? std::string("?")
                             : Utf8FromWide(fault.module.c_str()) + "+0x" + LowerHex(fault.offset);
    return place + " " + Utf8FromWide(ExceptionName(fault.code));
}
