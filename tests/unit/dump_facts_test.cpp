// What is read from a dump for a crash server (program, version, running
// time, fault place and the grouping signature), over dumps built in memory.
// The end-to-end upload tests read them from real dumps written under Wine.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "console/dumpwriter/dump_facts.h"

namespace {

// A dump with the streams the facts come from. Modules are given as
// (base, size, name, version or 0 for none).
struct ModuleSpec {
    uint64_t base;
    uint32_t size;
    const wchar_t* name;
    uint32_t versionMS;
    uint32_t versionLS;
};

struct DumpSpec {
    uint16_t architecture = 9;  // amd64
    std::vector<ModuleSpec> modules;
    bool exception = false;
    uint32_t code = 0;
    uint64_t address = 0;
    bool processTimes = false;
    uint32_t created = 0;
    uint32_t taken = 1700000000;  // header time, seconds since 1970
};

class DumpBuilder {
  public:
    std::vector<unsigned char> Build(const DumpSpec& spec) {
        std::vector<std::pair<uint32_t, std::vector<unsigned char>>> streams;
        std::vector<unsigned char> system(56, 0);
        std::memcpy(system.data(), &spec.architecture, 2);
        streams.push_back({7, system});
        streams.push_back({4, ModuleList(spec)});
        if (spec.exception) {
            std::vector<unsigned char> exception(168, 0);
            std::memcpy(&exception[8], &spec.code, 4);
            std::memcpy(&exception[24], &spec.address, 8);
            streams.push_back({6, exception});
        }
        std::vector<unsigned char> misc(24, 0);
        const uint32_t head[] = {24, spec.processTimes ? 0x3u : 0x1u, 1234, spec.created};
        std::memcpy(misc.data(), head, sizeof(head));
        streams.push_back({15, misc});

        bytes_.assign(32, 0);
        const uint32_t header[] = {0x504D444D, 0xA793, static_cast<uint32_t>(streams.size()),
                                   32,         0,      spec.taken};
        std::memcpy(bytes_.data(), header, sizeof(header));
        const size_t directory = bytes_.size();
        bytes_.resize(directory + 12 * streams.size());
        for (size_t i = 0; i < streams.size(); ++i) {
            const uint32_t entry[] = {streams[i].first,
                                      static_cast<uint32_t>(streams[i].second.size()),
                                      static_cast<uint32_t>(bytes_.size())};
            std::memcpy(&bytes_[directory + 12 * i], entry, sizeof(entry));
            bytes_.insert(bytes_.end(), streams[i].second.begin(), streams[i].second.end());
        }
        for (const auto& [offset, name] : names_) {
            const uint32_t at = static_cast<uint32_t>(bytes_.size());
            const uint32_t length = static_cast<uint32_t>(wcslen(name) * 2);
            Append(&length, 4);
            Append(name, length);
            PatchModuleName(offset, at);
        }
        return bytes_;
    }

  private:
    std::vector<unsigned char> ModuleList(const DumpSpec& spec) {
        std::vector<unsigned char> list(4 + 108 * spec.modules.size(), 0);
        const uint32_t count = static_cast<uint32_t>(spec.modules.size());
        std::memcpy(list.data(), &count, 4);
        for (size_t i = 0; i < spec.modules.size(); ++i) {
            unsigned char* entry = &list[4 + 108 * i];
            std::memcpy(entry, &spec.modules[i].base, 8);
            std::memcpy(entry + 8, &spec.modules[i].size, 4);
            if (spec.modules[i].versionMS != 0) {
                const uint32_t version[] = {0xFEEF04BD, 0x10000, spec.modules[i].versionMS,
                                            spec.modules[i].versionLS};
                std::memcpy(entry + 24, version, sizeof(version));
            }
            // The name's place is patched in once the strings are laid out.
            names_.push_back({4 + 108 * i + 20, spec.modules[i].name});
        }
        return list;
    }

    void PatchModuleName(size_t offsetInList, uint32_t rva) {
        // The module list is the second stream: its place is in the directory.
        uint32_t listRva = 0;
        std::memcpy(&listRva, &bytes_[32 + 12 + 8], 4);
        std::memcpy(&bytes_[listRva + offsetInList], &rva, 4);
    }

    void Append(const void* data, size_t size) {
        const auto* from = static_cast<const unsigned char*>(data);
        bytes_.insert(bytes_.end(), from, from + size);
    }

    std::vector<unsigned char> bytes_;
    std::vector<std::pair<size_t, const wchar_t*>> names_;
};

bool Facts(const std::vector<unsigned char>& bytes, DumpFacts* facts) {
    auto read = [&bytes](uint64_t offset, void* buffer, uint32_t size) {
        if (offset > bytes.size() || size > bytes.size() - offset) {
            return false;
        }
        std::memcpy(buffer, bytes.data() + offset, size);
        return true;
    };
    return ReadDumpFacts(read, bytes.size(), facts);
}

const ModuleSpec kApp = {0x140000000, 0x20000, L"C:\\Apps\\Shop.Server.exe", 0x00020001,
                         0x00030004};
const ModuleSpec kLibrary = {0x7ff800000000, 0x10000, L"C:\\Windows\\System32\\ntdll.dll", 0, 0};

TEST(DumpFacts, SignatureNamesTheFaultingModuleOrTheTrigger) {
    struct Case {
        const char* name;
        DumpSpec spec;
        const char* signature;
    };
    DumpSpec inLibrary{9, {kApp, kLibrary}, true, 0xC0000005, 0x7ff80000ab1c};
    DumpSpec inApp{9, {kApp, kLibrary}, true, 0x80000003, 0x140000010};
    DumpSpec nowhere{9, {kApp, kLibrary}, true, 0xC00000FD, 0x1000};
    DumpSpec unknownCode{9, {kApp}, true, 0xE06D7363, 0x14001ffff};
    DumpSpec noException{9, {kApp, kLibrary}};
    DumpSpec atModuleEnd{9, {kApp}, true, 0xC0000005, 0x140020000};
    // A 32-bit process's addresses, written sign-extended.
    DumpSpec x86{
        0, {{0x80000000, 0x1000, L"D:\\x\\old.exe", 0, 0}}, true, 0xC0000005, 0xFFFFFFFF80000123};
    const Case cases[] = {
        {"in a library", inLibrary, "ntdll.dll+0xab1c ACCESS_VIOLATION"},
        {"in the program", inApp, "Shop.Server.exe+0x10 BREAKPOINT"},
        {"in no module", nowhere, "? STACK_OVERFLOW"},
        {"unknown code", unknownCode, "Shop.Server.exe+0x1ffff UNKNOWN EXCEPTION"},
        {"no exception", noException, "Shop.Server.exe:cpu"},
        {"just past the module", atModuleEnd, "? ACCESS_VIOLATION"},
        {"x86 sign-extended", x86, "old.exe+0x123 ACCESS_VIOLATION"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DumpFacts facts;
        ASSERT_TRUE(Facts(DumpBuilder().Build(c.spec), &facts));
        EXPECT_EQ(c.signature, DumpSignature(facts, "cpu"));
    }
}

TEST(DumpFacts, ProductVersionAndRunningTime) {
    DumpSpec spec{9, {kApp, kLibrary}};
    spec.processTimes = true;
    spec.created = spec.taken - 90;
    DumpFacts facts;
    ASSERT_TRUE(Facts(DumpBuilder().Build(spec), &facts));
    EXPECT_EQ(L"Shop.Server", ProductName(facts));
    EXPECT_EQ(L"Shop.Server.exe", ImageFileName(facts));
    EXPECT_EQ(L"2.1.3.4", VersionText(facts));
    EXPECT_EQ(90000u, facts.processMilliseconds.value_or(0));
    EXPECT_FALSE(facts.fault.has_value());

    // No version resource, no process times (as the platform's writer under
    // Wine leaves it), a creation time after the dump's own.
    spec.modules = {kLibrary};
    for (auto [processTimes, created] :
         {std::pair{false, spec.taken - 5}, {true, 0u}, {true, spec.taken + 1}}) {
        spec.processTimes = processTimes;
        spec.created = created;
        ASSERT_TRUE(Facts(DumpBuilder().Build(spec), &facts));
        EXPECT_EQ(L"ntdll", ProductName(facts));
        EXPECT_EQ(L"0.0.0.0", VersionText(facts));
        EXPECT_FALSE(facts.processMilliseconds.has_value());
    }
}

TEST(DumpFacts, DamagedStreamsLeaveTheirFactsEmpty) {
    DumpSpec spec{9, {kApp}, true, 0xC0000005, 0x140000010};
    const std::vector<unsigned char> good = DumpBuilder().Build(spec);
    DumpFacts facts;

    std::vector<unsigned char> notADump = good;
    notADump[0] = 'X';
    EXPECT_FALSE(Facts(notADump, &facts));
    EXPECT_FALSE(Facts(std::vector<unsigned char>(good.begin(), good.begin() + 40), &facts));

    // The module name's string cut off: no image, the fault in no module.
    std::vector<unsigned char> cut(good.begin(), good.end() - 4);
    ASSERT_TRUE(Facts(cut, &facts));
    EXPECT_EQ(L"?", ImageFileName(facts));
    EXPECT_EQ("? ACCESS_VIOLATION", DumpSignature(facts, "exception"));

    // A module count far beyond the stream.
    std::vector<unsigned char> countWrong = good;
    uint32_t listRva = 0;
    std::memcpy(&listRva, &good[32 + 12 + 8], 4);
    const uint32_t huge = 0x7FFFFFFF;
    std::memcpy(&countWrong[listRva], &huge, 4);
    ASSERT_TRUE(Facts(countWrong, &facts));
    EXPECT_EQ("?:manual", DumpSignature(DumpFacts{}, "manual"));
    EXPECT_EQ("? ACCESS_VIOLATION", DumpSignature(facts, "exception"));
}

}  // namespace
