// The numbered files of a long watch: numbering after what a folder holds,
// the bound on their count, and the spacing of the files of a series.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/dumpwriter/series_files.h"

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

TEST(SeriesFiles, KeepingRemovesTheLowestNumbersBeyondTheNewest) {
    const std::vector<NumberedFile> files = {{0, L"a_0.dmp"}, {3, L"a_3.dmp"}, {7, L"a_7.dmp"}};
    struct Case {
        uint32_t keep;
        std::vector<uint32_t> removed;
    };
    for (const Case& c : {Case{1, {0, 3}}, Case{2, {0}}, Case{3, {}}, Case{10, {}}}) {
        SCOPED_TRACE(c.keep);
        EXPECT_EQ(c.removed, Numbers(FilesBeyondKeep(files, c.keep)));
    }
}

TEST(SeriesFiles, FolderDumpsOfAnyImageOldestFirst) {
    // Crashes within one second are told apart by when they were written.
    const std::vector<FolderFile> folder = {
        {L"b_8_261208_101500.dmp", 30},
        {L"a_4_261208_101500_0.dmp", 40},
        {L"my_app_12_261207_235959.DMP", 90},
        {L"a_4_261208_101500.dmp", 20},
        {L"crash.dmp", 10},
        {L"a_4_261208_1015.dmp", 10},
        {L"a_261208_101500.dmp", 10},
        {L"a_4_261208_101500.dmp.json", 10},
    };
    std::vector<std::wstring> names;
    for (const NumberedFile& file : FolderNamedFilesOf(folder)) {
        names.push_back(file.name);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"my_app_12_261207_235959.DMP", L"a_4_261208_101500.dmp",
                                         L"b_8_261208_101500.dmp", L"a_4_261208_101500_0.dmp"}),
              names);
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
