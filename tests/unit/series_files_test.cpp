// The names of a run's dump files: numbering after what a folder holds, the
// naming -keep counts, and the spacing of the files of a series.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "console/dumpfolder/series_files.h"
#include "console/series/series_gap.h"

namespace {

std::vector<uint32_t> Numbers(const std::vector<NumberedFile>& files) {
    std::vector<uint32_t> numbers;
    for (const NumberedFile& file : files) {
        numbers.push_back(file.number);
    }
    return numbers;
}

TEST(SeriesFiles, OnlyTheWatchesOwnNumberedNamesCount) {
    const std::vector<std::wstring> folder = {
        L"app.dmp",     L"app_2.dmp",   L"APP_10.DMP",
        L"app_1.dmp",   L"app_1.ini",   L"app_1-reflected.dmp",
        L"app_x.dmp",   L"app_.dmp",    L"app_3.dmp.json",
        L"other_4.dmp", L"app_b_5.dmp", L"app_99999999999.dmp",
        L"app_-1.dmp",  L"ap_6.dmp",
    };
    const std::vector<NumberedFile> files = NumberedFilesOf(folder, L"app");
    EXPECT_EQ((std::vector<uint32_t>{1, 2, 10}), Numbers(files));
    EXPECT_EQ(L"APP_10.DMP", files.back().name);
    EXPECT_EQ((std::vector<uint32_t>{5}), Numbers(NumberedFilesOf(folder, L"app_b")));
}

TEST(SeriesFiles, NumberingGoesOnAfterTheHighestPresent) {
    EXPECT_EQ(0u, *NextFileNumber({}));
    EXPECT_EQ(11u, *NextFileNumber({{1, L"a_1.dmp"}, {10, L"a_10.dmp"}}));
    EXPECT_FALSE(NextFileNumber({{UINT32_MAX, L"a_4294967295.dmp"}}).has_value());
}

TEST(SeriesFiles, FolderDumpsOfAnyImageHaveTheFolderNaming) {
    struct Case {
        const wchar_t* name;
        bool folderNamed;
    };
    const Case cases[] = {
        {L"b_8_261208_101500.dmp", true},       {L"a_4_261208_101500_0.dmp", true},
        {L"my_app_12_261207_235959.DMP", true}, {L"crash.dmp", false},
        {L"a_4_261208_1015.dmp", false},        {L"a_261208_101500.dmp", false},
        {L"a_4_261208_101500.dmp.json", false}, {L"a_4_261208_101500-reflected.dmp", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.folderNamed, HasFolderDumpNaming(c.name))
            << std::string(c.name, c.name + wcslen(c.name));
    }
}

TEST(SeriesFiles, KeepCountsTheNamingOfItsKind) {
    struct Case {
        const wchar_t* name;
        KeptFiles kept;
        bool counted;
    };
    const Case cases[] = {
        {L"crash_3.dmp", KeptFiles::kNumbered, true},
        {L"crash.dmp", KeptFiles::kNumbered, false},
        {L"CRASH.DMP", KeptFiles::kPlainAndNumbered, true},
        {L"crash_3.dmp", KeptFiles::kPlainAndNumbered, true},
        {L"crash_3.dmp.json", KeptFiles::kPlainAndNumbered, false},
        {L"other.dmp", KeptFiles::kPlainAndNumbered, false},
        {L"vh_9_261208_101500.dmp", KeptFiles::kFolderNaming, true},
        {L"crash.dmp", KeptFiles::kFolderNaming, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.counted, HasKeptNaming(c.name, c.kept, L"crash", L"crash.dmp"))
            << std::string(c.name, c.name + wcslen(c.name));
    }
}

TEST(SeriesFiles, FilesStartAGapApartUnlessOneTookLonger) {
    struct Case {
        uint64_t previousStart, now;
        uint32_t gapSeconds;
        uint64_t wait;
    };
    const Case cases[] = {
        {1000, 1000, 0, 0},
        {1000, 3500, 10, 7500},
        {1000, 11000, 10, 0},
        {1000, 25000, 10, 0},
        {5, 5, 4294967295u, 4294967295000u},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.wait, GapWaitMilliseconds(c.previousStart, c.now, c.gapSeconds));
    }
}

}  // namespace
