// The names of a run's dump files: the numbered names derived from the dump
// path, which numbers a folder already holds for it, the next number to use,
// and the naming of a just-in-time dump folder. Pure work on names.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "console/dumpfolder/naming_policy.h"

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

// The naming of a just-in-time dump folder, both ways:
// "<image without extension>_<pid>_<yyMMdd>_<HHmmss>.dmp" (the local time of
// the crash), or with "_<n>" before ".dmp" when that name was taken.

// The dump path of a crash of imageName into folder. False, with out empty,
// when it would not fit.
bool BuildJitFolderDumpPath(wchar_t (&out)[MAX_PATH], const wchar_t* folder,
                            const wchar_t* imageName, uint32_t processId, const SYSTEMTIME& now);

// Whether a name has that naming, whatever the image.
bool HasFolderDumpNaming(const std::wstring& name);

// Whether a file of the dump folder has the naming that -keep counts:
// baseName is the dump path's file name without extension, plainName its
// file name.
bool HasKeptNaming(const std::wstring& name, KeptFiles kept, const std::wstring& baseName,
                   const std::wstring& plainName);

// The number after the highest one present (0 when there is none), so that
// a new watch never meets an earlier one's files. None when the highest
// number leaves no next one.
std::optional<uint32_t> NextFileNumber(const std::vector<NumberedFile>& files);

// "<path without extension>_<index>.dmp". False when it does not fit.
bool NumberedDumpName(const wchar_t* dumpPath, uint32_t index, wchar_t (&name)[MAX_PATH]);
