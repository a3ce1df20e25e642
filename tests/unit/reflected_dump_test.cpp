// The reflected dump with the clone routine replaced by one of ours that
// hands out a real second process (a suspended copy of the test target), so
// that the clone's dump, the side file, the clone's end and every failure
// report run for real. The platform's own clone routine does not exist under
// Wine.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "console/dumpwriter/dump_file.h"
#include "console/dumpwriter/reflected_dump.h"
#include "console/series/dump_series.h"
#include "tests/unit/process_test_support.h"

namespace {

using process_test::ReadWholeFile;
using process_test::ScratchFolder;
using process_test::TargetProcess;

// Each call starts a new suspended copy of the test target as the clone and
// hands it out; the test keeps its own handle to see how the clone ended.
struct FakeReflection {
    LONG status;
    bool readOnlyLimited;  // hand out a handle that may end the clone but not read it
    int calls;
    HANDLE seenProcess;
    ULONG seenFlags;
    bool restWasNull;
    std::vector<std::unique_ptr<TargetProcess>> clones;
};

FakeReflection g_fake;

LONG NTAPI FakeCreateReflection(HANDLE process, ULONG flags, void* startRoutine, void* startContext,
                                HANDLE eventHandle, ReflectionInformation* information) {
    ++g_fake.calls;
    g_fake.seenProcess = process;
    g_fake.seenFlags = flags;
    g_fake.restWasNull = startRoutine == nullptr && startContext == nullptr &&
                         eventHandle == nullptr && information->process == nullptr &&
                         information->thread == nullptr && information->processId == 0 &&
                         information->threadId == 0;
    if (g_fake.status < 0) {
        return g_fake.status;
    }
    auto clone = std::make_unique<TargetProcess>();
    if (!clone->Start(L"sleep:600000", "", true)) {
        return static_cast<LONG>(0xC0000001);
    }
    HANDLE handed = nullptr;
    if (g_fake.readOnlyLimited) {
        handed = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, clone->pid());
    } else {
        DuplicateHandle(GetCurrentProcess(), clone->process(), GetCurrentProcess(), &handed, 0,
                        FALSE, DUPLICATE_SAME_ACCESS);
    }
    information->process = handed;
    information->thread = clone->ReleaseThread();
    // Pointer-sized, with bits above the identifier that must be ignored.
    information->processId = static_cast<uintptr_t>(clone->pid()) |
                             (sizeof(uintptr_t) == 8 ? ~static_cast<uintptr_t>(0) << 32 : 0);
    information->threadId = 1;
    g_fake.clones.push_back(std::move(clone));
    return g_fake.status;
}

CreateProcessReflectionFunction FakeLookUp() {
    return FakeCreateReflection;
}
CreateProcessReflectionFunction NothingFound() {
    return nullptr;
}

std::wstring SystemText(DWORD code) {
    wchar_t text[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0x400,
                   text, 512, nullptr);
    return text;
}

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) {
        narrow.push_back(static_cast<char>(c));
    }
    return narrow;
}

// "caption: system text" as ReportWin32Error prints it.
std::string Report(const char* caption, DWORD code) {
    return std::string(caption) + ": " + Narrow(SystemText(code)) + "\n";
}

uint64_t DumpFlags(const std::string& dump) {
    uint64_t flags = 0;
    std::memcpy(&flags, dump.data() + 24, sizeof(flags));
    return flags;
}

// The comment stream's text (type 11, wide, terminator included).
std::wstring DumpComment(const std::string& dump) {
    uint32_t count = 0;
    uint32_t directory = 0;
    std::memcpy(&count, dump.data() + 8, 4);
    std::memcpy(&directory, dump.data() + 12, 4);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t entry[3];
        std::memcpy(entry, dump.data() + directory + i * 12, sizeof(entry));
        if (entry[0] == 11) {
            std::wstring text(entry[1] / 2, L'\0');
            std::memcpy(&text[0], dump.data() + entry[2], entry[1]);
            return text;
        }
    }
    return L"<none>";
}

constexpr wchar_t kComment[] = L"\n*** vh unit\n*** Manual dump.\n";

// The printed text without the per-file "Written: ..." lines, and how many
// there were.
std::string WithoutWrittenLines(const std::string& printed, int* count) {
    std::string rest;
    *count = 0;
    size_t start = 0;
    while (start < printed.size()) {
        size_t end = printed.find('\n', start);
        end = end == std::string::npos ? printed.size() : end + 1;
        const std::string line = printed.substr(start, end - start);
        if (line.rfind("Written: ", 0) == 0) {
            ++*count;
        } else {
            rest += line;
        }
        start = end;
    }
    return rest;
}

// A reflected request for the live target, as a run with -r makes it.
DumpRequest Request(HANDLE process, const std::wstring& path, uint32_t count, bool overwrite,
                    uint32_t dumpType) {
    DumpRequest request = {};
    request.process = process;
    request.processId = GetProcessId(process);
    request.path = path.c_str();
    request.count = count;
    request.overwrite = overwrite;
    request.dumpType = dumpType;
    request.reflect = true;
    request.comment = kComment;
    return request;
}

class ReflectedDump : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(live_.Start(L"sleep:600000", "step sleep:"));
        g_fake.status = 0;
        g_fake.readOnlyLimited = false;
        g_fake.calls = 0;
        g_fake.clones.clear();
        SetReflectionLookUp(FakeLookUp);
    }
    void TearDown() override {
        SetReflectionLookUp(nullptr);
        g_fake.clones.clear();
    }

    uint32_t Write(const std::wstring& dumpFile, uint32_t overwrite, uint32_t dumpType,
                   std::string* printed) {
        testing::internal::CaptureStdout();
        uint32_t result = WriteReflectedDump(
            Request(live_.process(), dumpFile, 1, overwrite != 0, dumpType), dumpFile.c_str());
        *printed = testing::internal::GetCapturedStdout();
        return result;
    }

    // Every clone handed out was ended with exit code 0.
    void ExpectClonesEnded(size_t count = 1) {
        ASSERT_EQ(count, g_fake.clones.size());
        for (const auto& clone : g_fake.clones) {
            ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(clone->process(), 5000));
            DWORD code = 99;
            GetExitCodeProcess(clone->process(), &code);
            EXPECT_EQ(0u, code);
        }
    }

    TargetProcess live_;
    ScratchFolder folder_;
};

TEST_F(ReflectedDump, CloneDumpWithTheRunsFlagsAndTheSideFile) {
    std::string printed;
    ASSERT_EQ(1u, Write(folder_.File(L"app.dmp"), 0, 0x127, &printed));
    EXPECT_EQ("", printed);
    EXPECT_EQ(1, g_fake.calls);
    EXPECT_EQ(live_.process(), g_fake.seenProcess);
    EXPECT_EQ(2u, g_fake.seenFlags);
    EXPECT_TRUE(g_fake.restWasNull);
    ExpectClonesEnded();

    EXPECT_EQ((std::vector<std::wstring>{L"app-reflected.dmp", L"app.ini"}), folder_.Files());
    const std::string dump = ReadWholeFile(folder_.File(L"app-reflected.dmp"));
    ASSERT_GT(dump.size(), 32u);
    EXPECT_EQ("MDMP", dump.substr(0, 4));
    EXPECT_EQ(0x127u, DumpFlags(dump));
    EXPECT_EQ(std::wstring(kComment, sizeof(kComment) / sizeof(wchar_t)), DumpComment(dump));
    EXPECT_EQ("[UserModeDump]\r\ndefault=app.dmp\r\nmemory=app-reflected.dmp\r\nmodule=app.dmp\r\n",
              ReadWholeFile(folder_.File(L"app.ini")));
}

TEST_F(ReflectedDump, SideFileNeverReplacesALiveDumpOfTheSameName) {
    const std::wstring live = folder_.File(L"app.ini");
    UniqueFile file(CreateFileW(live.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.Get(), "live", 4, &written, nullptr));
    file.Reset();
    std::string printed;
    ASSERT_EQ(1u, Write(live, 0, 0x125, &printed));
    EXPECT_EQ("", printed);
    ExpectClonesEnded();
    EXPECT_EQ((std::vector<std::wstring>{L"app-reflected.dmp", L"app.ini"}), folder_.Files());
    EXPECT_EQ("live", ReadWholeFile(live));
}

TEST_F(ReflectedDump, SideFileReplacesOnlyASideFileOfOurs) {
    for (const char* before :
         {"[UserModeDump]\r\ndefault=old.dmp\r\n", "[service]\r\nport=80\r\n"}) {
        SCOPED_TRACE(before);
        const std::wstring side = folder_.File(L"svc.ini");
        UniqueFile file(CreateFileW(side.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(
            WriteFile(file.Get(), before, static_cast<DWORD>(strlen(before)), &written, nullptr));
        file.Reset();
        DeleteFileW(folder_.File(L"svc-reflected.dmp").c_str());
        std::string printed;
        ASSERT_EQ(1u, Write(folder_.File(L"svc.dmp"), 0, 0x125, &printed));
        const bool ours = before[1] == 'U';
        EXPECT_EQ(ours, ReadWholeFile(side) != before);
        EXPECT_EQ(ours, ReadWholeFile(side).find("default=svc.dmp") != std::string::npos);
    }
    ExpectClonesEnded(2);
}

TEST_F(ReflectedDump, SideFileThatCannotBeCreatedIsLeftOutSilently) {
    // A folder where the side file should go.
    ASSERT_TRUE(CreateDirectoryW(folder_.File(L"app.ini").c_str(), nullptr));
    std::string printed;
    EXPECT_EQ(1u, Write(folder_.File(L"app.dmp"), 0, 0x125, &printed));
    EXPECT_EQ("", printed);
    ExpectClonesEnded();
    EXPECT_EQ((std::vector<std::wstring>{L"app-reflected.dmp"}), folder_.Files());
}

TEST_F(ReflectedDump, WithoutTheCloneRoutineNothingHappens) {
    SetReflectionLookUp(NothingFound);
    std::string printed;
    EXPECT_EQ(0u, Write(folder_.File(L"app.dmp"), 0, 0x125, &printed));
    EXPECT_EQ("", printed);
    EXPECT_EQ(0, g_fake.calls);
    EXPECT_TRUE(folder_.Files().empty());
}

TEST_F(ReflectedDump, FailedCloneIsReportedWithTheStatusText) {
    g_fake.status = static_cast<LONG>(0xC0000022);  // access denied
    std::string printed;
    EXPECT_EQ(0u, Write(folder_.File(L"app.dmp"), 0, 0x125, &printed));
    EXPECT_EQ(Report("Failed to dump reflection process", ERROR_ACCESS_DENIED), printed);
    EXPECT_TRUE(folder_.Files().empty());
}

TEST_F(ReflectedDump, ExistingCloneDumpIsKeptWithoutOverwriteAndTheCloneEnded) {
    const std::wstring existing = folder_.File(L"app-reflected.dmp");
    UniqueFile file(CreateFileW(existing.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    file.Reset();
    std::string printed;
    EXPECT_EQ(0u, Write(folder_.File(L"app.dmp"), 0, 0x125, &printed));
    EXPECT_EQ(Report("Failed to create dump file", ERROR_FILE_EXISTS), printed);
    ExpectClonesEnded();
    EXPECT_EQ((std::vector<std::wstring>{L"app-reflected.dmp"}), folder_.Files());
    EXPECT_EQ("", ReadWholeFile(existing));
}

TEST_F(ReflectedDump, NamesTooLongAreReportedAndTheCloneEnded) {
    const std::wstring dumpFile = folder_.File(std::wstring(250, L'x').c_str()) + L".dmp";
    std::string printed;
    EXPECT_EQ(0u, Write(dumpFile, 0, 0x125, &printed));
    EXPECT_EQ(Report("Failed to create dump file", ERROR_FILENAME_EXCED_RANGE), printed);
    ExpectClonesEnded();
    EXPECT_TRUE(folder_.Files().empty());
}

TEST_F(ReflectedDump, FailedCloneDumpIsReportedAndLeavesNoFiles) {
    g_fake.readOnlyLimited = true;
    std::string printed;
    EXPECT_EQ(0u, Write(folder_.File(L"app.dmp"), 0, 0x125, &printed));
    EXPECT_EQ(0u, printed.rfind("Failed to dump reflected process: ", 0)) << printed;
    ExpectClonesEnded();
    EXPECT_TRUE(folder_.Files().empty());
}

TEST_F(ReflectedDump, LiveDumpGetsTheSmallContentAndTheCloneTheRunsWord) {
    const std::wstring dumpFile = folder_.File(L"app.dmp");
    SharedSeriesState series;
    SeriesBudget budget;
    WatchSeries watch(series, budget);
    testing::internal::CaptureStdout();
    const SeriesOutcome result = WriteDumpSeries(
        Request(live_.process(), dumpFile, 1, false, 0x127), watch, SeriesDemand::kAlways);
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(SeriesOutcome::kWritten, result);
    int writtenLines = 0;
    EXPECT_EQ("Writing dump file " + Narrow(dumpFile) + " ...\nDump written.\n",
              WithoutWrittenLines(printed, &writtenLines));
    EXPECT_EQ(1, writtenLines);
    ExpectClonesEnded();
    EXPECT_EQ((std::vector<std::wstring>{L"app-reflected.dmp", L"app.dmp", L"app.ini"}),
              folder_.Files());
    EXPECT_EQ(0x125u, DumpFlags(ReadWholeFile(dumpFile)));
    EXPECT_EQ(0x127u, DumpFlags(ReadWholeFile(folder_.File(L"app-reflected.dmp"))));
}

TEST_F(ReflectedDump, FailedLiveDumpIsReportedAfterTheCloneAndItsSideFile) {
    // A handle that cannot read the live process: its dump fails, the
    // clone's (made by our routine from nothing of that handle) does not.
    HANDLE limited = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, live_.pid());
    ASSERT_NE(nullptr, limited);
    UniqueHandle owner(limited);
    const std::wstring dumpFile = folder_.File(L"app.dmp");
    SharedSeriesState series;
    SeriesBudget budget;
    WatchSeries watch(series, budget);
    testing::internal::CaptureStdout();
    DumpRequest request = Request(limited, dumpFile, 1, false, 0x125);
    request.processId = live_.pid();
    const SeriesOutcome result = WriteDumpSeries(request, watch, SeriesDemand::kAlways);
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(SeriesOutcome::kFailed, result);
    EXPECT_TRUE(SummariseSeries(series).failed);
    const std::string writing = "Writing dump file " + Narrow(dumpFile) + " ...\n";
    EXPECT_EQ(0u, printed.rfind(writing + "Failed to dump process: ", 0)) << printed;
    ExpectClonesEnded();
    // The failed live dump is removed; the side file still names it.
    EXPECT_EQ((std::vector<std::wstring>{L"app-reflected.dmp", L"app.ini"}), folder_.Files());
    EXPECT_EQ("[UserModeDump]\r\ndefault=app.dmp\r\nmemory=app-reflected.dmp\r\nmodule=app.dmp\r\n",
              ReadWholeFile(folder_.File(L"app.ini")));
}

TEST_F(ReflectedDump, EachFileOfASeriesGetsItsOwnClone) {
    SharedSeriesState series;
    SeriesBudget budget;
    WatchSeries watch(series, budget);
    const std::wstring dumpPath = folder_.File(L"app.dmp");
    testing::internal::CaptureStdout();
    const SeriesOutcome result = WriteDumpSeries(
        Request(live_.process(), dumpPath, 2, false, 0x125), watch, SeriesDemand::kAlways);
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(SeriesOutcome::kWritten, result);
    int writtenLines = 0;
    EXPECT_EQ("Writing dump file " + Narrow(folder_.File(L"app_0.dmp")) + " ...\n" +
                  "Writing dump file " + Narrow(folder_.File(L"app_1.dmp")) + " ...\n" +
                  "Dump written.\n",
              WithoutWrittenLines(printed, &writtenLines));
    EXPECT_EQ(2, writtenLines);
    EXPECT_EQ(2, g_fake.calls);
    ExpectClonesEnded(2);
    EXPECT_EQ((std::vector<std::wstring>{L"app_0-reflected.dmp", L"app_0.dmp", L"app_0.ini",
                                         L"app_1-reflected.dmp", L"app_1.dmp", L"app_1.ini"}),
              folder_.Files());
    EXPECT_EQ(
        "[UserModeDump]\r\ndefault=app_1.dmp\r\nmemory=app_1-reflected.dmp\r\n"
        "module=app_1.dmp\r\n",
        ReadWholeFile(folder_.File(L"app_1.ini")));
}

class SideFile : public testing::Test {
  protected:
    void TearDown() override { setlocale(LC_ALL, "C"); }
    ScratchFolder folder_;
};

TEST_F(SideFile, TextThatCannotBeWrittenWholeIsReportedAndNoFileMade) {
    ASSERT_NE(nullptr, setlocale(LC_ALL, "chs"));
    const std::wstring name(200, L'\u4e2d');
    const std::wstring dumpFile = folder_.File((name + L".dmp").c_str());
    const std::wstring cloneDump = folder_.File((name + L"-reflected.dmp").c_str());
    testing::internal::CaptureStdout();
    EXPECT_FALSE(
        WriteSideFile(folder_.File(L"long.ini").c_str(), dumpFile.c_str(), cloneDump.c_str()));
    EXPECT_EQ(Report("Failed to write side file", ERROR_FILENAME_EXCED_RANGE),
              testing::internal::GetCapturedStdout());

    // U+0E01 has no code in the locale's multibyte encoding.
    const std::wstring thai = folder_.File(L"\u0e01.dmp");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(WriteSideFile(folder_.File(L"thai.ini").c_str(), thai.c_str(),
                               folder_.File(L"\u0e01-reflected.dmp").c_str()));
    EXPECT_EQ(Report("Failed to write side file", ERROR_NO_UNICODE_TRANSLATION),
              testing::internal::GetCapturedStdout());
    EXPECT_TRUE(folder_.Files().empty());
}

}  // namespace
