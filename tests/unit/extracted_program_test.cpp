// The program file a run writes out from its resources: a name of its own
// run, never another file replaced, nothing left behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "common/extracted_program.h"
#include "process_test_support.h"

namespace {

constexpr int kPayloadResource = 777;  // tests/unit/unit_test_resources.rc

TEST(ExtractedProgram, NamesCarryTheRunsProcessAndFitAPath) {
    EXPECT_EQ(L"C:\\t\\varnhold64-42.exe", ExtractedProgramName(L"C:\\t", L"varnhold64", 42, 0));
    EXPECT_EQ(L"C:\\t\\varnhold-42-3.exe", ExtractedProgramName(L"C:\\t\\", L"varnhold", 42, 3));
    EXPECT_EQ(L"", ExtractedProgramName(std::wstring(250, L'x'), L"varnhold64", 42, 0));
}

TEST(ExtractedProgram, RunsAtOnceGetFilesOfTheirOwnAndLeaveNothingBehind) {
    process_test::ScratchFolder folder;
    const std::wstring& dir = folder.Path();
    const std::wstring pid = std::to_wstring(GetCurrentProcessId());
    // Someone else's file under the name the second copy would take.
    const std::wstring foreign = folder.File((L"vh_copy-" + pid + L"-1.exe").c_str());
    std::ofstream(foreign.c_str(), std::ios::binary) << "not ours";
    std::string payload;
    {
        ExtractedProgram first;
        ExtractedProgram second;
        ASSERT_TRUE(first.Extract(kPayloadResource, dir, L"vh_copy"));
        ASSERT_TRUE(second.Extract(kPayloadResource, dir, L"vh_copy"));
        EXPECT_EQ(folder.File((L"vh_copy-" + pid + L".exe").c_str()), first.Path());
        EXPECT_EQ(folder.File((L"vh_copy-" + pid + L"-2.exe").c_str()), second.Path());
        payload = process_test::ReadWholeFile(first.Path());
        EXPECT_EQ(0u, payload.find("A resource the unit tests write out"));
        EXPECT_EQ(payload, process_test::ReadWholeFile(second.Path()));
        // Until it is gone, nobody can write or delete the file it will run.
        EXPECT_FALSE(UniqueFile(CreateFileW(first.Path().c_str(), GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
                         .IsValid());
        EXPECT_FALSE(DeleteFileW(first.Path().c_str()));
    }
    EXPECT_EQ(std::vector<std::wstring>{L"vh_copy-" + pid + L"-1.exe"}, folder.Files());
    EXPECT_EQ("not ours", process_test::ReadWholeFile(foreign));
}

TEST(ExtractedProgram, NothingIsWrittenWithoutTheResourceOrAPlaceForIt) {
    process_test::ScratchFolder folder;
    const std::wstring& dir = folder.Path();
    ExtractedProgram copy;
    EXPECT_FALSE(copy.Extract(778, dir, L"vh_copy"));
    EXPECT_FALSE(copy.Extract(kPayloadResource, folder.File(L"no such folder"), L"vh_copy"));
    EXPECT_TRUE(copy.Path().empty());
    EXPECT_TRUE(folder.Files().empty());
}

}  // namespace
