// The numbered dump files of a long watch: which numbers a folder already
// holds for the watch's name, the next number to use, which files a bound
// on their count removes, and how long to wait before the next file of a
// series. Pure work on names and times.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A file of the dump folder: its name, without directory, and when it was
// last written (100 ns units).
struct FolderFile {
    std::wstring name;
    uint64_t written;
};

std::vector<std::wstring> NamesOf(const std::vector<FolderFile>& files);

struct NumberedFile {
    uint32_t number;
    std::wstring name;  // as found in the folder, without directory
};

// The files "<baseName>_<number>.dmp" among the names of a folder (letter
// case aside, as the file system sees it), in order of number. Other names,
// and numbers too large for 32 bits, are not the watch's.
std::vector<NumberedFile> NumberedFilesOf(const std::vector<std::wstring>& names,
                                          const std::wstring& baseName);

// The dumps of a just-in-time dump folder:
// "<image>_<pid>_<yyMMdd>_<HHmmss>.dmp", or with "_<n>" before ".dmp" when
// that name was taken, whatever the image. Oldest first: by the time in the
// name, then (crashes within one second) by when the file was written; their
// `number` is their place in that order.
std::vector<NumberedFile> FolderNamedFilesOf(const std::vector<FolderFile>& files);

// The number after the highest one present (0 when there is none), so that
// a new watch never meets an earlier one's files. None when the highest
// number leaves no next one.
std::optional<uint32_t> NextFileNumber(const std::vector<NumberedFile>& files);

// The oldest files (lowest numbers) beyond the keep newest ones.
std::vector<NumberedFile> FilesBeyondKeep(const std::vector<NumberedFile>& files, uint32_t keep);

// How long to wait before the next file of a series starts, when files start
// gapSeconds apart (start to start) and the previous one started at
// previousStart (both in milliseconds of one clock). 0 when the previous
// file took longer than the gap.
uint64_t GapWaitMilliseconds(uint64_t previousStart, uint64_t now, uint32_t gapSeconds);
