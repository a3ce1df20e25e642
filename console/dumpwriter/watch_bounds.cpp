#include "console/dumpwriter/watch_bounds.h"

#include <windows.h>
#include <shlwapi.h>

#include "common/bounded_text.h"
#include "common/console_output.h"
#include "console/dumpwriter/dump_names.h"
#include "console/dumpwriter/folder_files.h"
#include "console/dumpwriter/series_files.h"
#include "console/report/error_report.h"

namespace {

constexpr uint64_t kBytesPerMB = 1024 * 1024;

// The files -keep counts, oldest first.
std::vector<NumberedFile> KeptFilesOf(const wchar_t* dumpPath, KeptFiles kept) {
    const std::vector<FolderFile> folder = FilesBesideDumpPath(dumpPath);
    if (kept == KeptFiles::kFolderNaming) {
        return FolderNamedFilesOf(folder);
    }
    const std::vector<std::wstring> names = NamesOf(folder);
    std::vector<NumberedFile> files = NumberedFilesOf(names, DumpBaseName(dumpPath));
    const wchar_t* plain = PathFindFileNameW(dumpPath);
    if (kept == KeptFiles::kPlainThenNumbered) {
        for (const std::wstring& name : names) {
            if (_wcsicmp(name.c_str(), plain) == 0) {
                files.insert(files.begin(), NumberedFile{0, name});
                break;
            }
        }
    }
    return files;
}

}  // namespace

bool EnoughFreeSpace(const wchar_t* dumpPath, uint64_t freeMB, uint64_t* freeNow) {
    *freeNow = 0;
    wchar_t directory[MAX_PATH];
    if (!DumpDirectoryOf(dumpPath, directory) || directory[0] == L'\0') {
        CopyBounded(directory, MAX_PATH, L".");
    }
    ULARGE_INTEGER available = {};
    if (!GetDiskFreeSpaceExW(directory, &available, nullptr, nullptr)) {
        ReportWin32Error(L"Failed to read the free space of the dump folder", GetLastError());
        return false;
    }
    *freeNow = available.QuadPart / kBytesPerMB;
    if (*freeNow >= freeMB) {
        return true;
    }
    PrintWide(L"Dump file not written: %I64u MB free in %s, -free asks for %I64u MB.\n",
              static_cast<unsigned long long>(*freeNow), directory,
              static_cast<unsigned long long>(freeMB));
    return false;
}

std::vector<std::wstring> KeepNewestFiles(const wchar_t* dumpPath, uint32_t keep, KeptFiles kept) {
    std::vector<std::wstring> deleted;
    wchar_t directory[MAX_PATH];
    if (!DumpDirectoryOf(dumpPath, directory)) {
        return deleted;
    }
    const std::vector<NumberedFile> files = KeptFilesOf(dumpPath, kept);
    for (const NumberedFile& old : FilesBeyondKeep(files, keep)) {
        wchar_t path[MAX_PATH];
        const bool fits = directory[0] == L'\0' ? CopyBounded(path, MAX_PATH, old.name.c_str())
                                                : FormatBounded(path, MAX_PATH, L"%s\\%s",
                                                                directory, old.name.c_str());
        if (fits && DeleteDumpWithCompanions(path)) {
            PrintWide(L"Deleted old dump file %s\n", path);
            deleted.emplace_back(path);
        }
    }
    return deleted;
}
