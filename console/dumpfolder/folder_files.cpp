#include "console/dumpfolder/folder_files.h"

#include <windows.h>
#include <shlwapi.h>

#include "common/bounded_text.h"
#include "common/file_time_ticks.h"
#include "common/unique_resource.h"
#include "console/dumpwriter/dump_names.h"

std::vector<FolderFile> FilesBesideDumpPath(const wchar_t* dumpPath) {
    std::vector<FolderFile> names;
    wchar_t directory[MAX_PATH];
    if (!DumpDirectoryOf(dumpPath, directory)) {
        return names;
    }
    wchar_t pattern[MAX_PATH];
    const bool fits = directory[0] == L'\0' ? CopyBounded(pattern, MAX_PATH, L"*")
                                            : FormatBounded(pattern, MAX_PATH, L"%s\\*", directory);
    if (!fits) {
        return names;
    }
    WIN32_FIND_DATAW found = {};
    UniqueFind find(FindFirstFileW(pattern, &found));
    if (!find) {
        return names;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            names.push_back({found.cFileName, FileTimeTicks(found.ftLastWriteTime)});
        }
    } while (FindNextFileW(find.Get(), &found));
    return names;
}

std::wstring DumpBaseName(const wchar_t* dumpPath) {
    wchar_t base[MAX_PATH];
    if (!CopyBounded(base, MAX_PATH, PathFindFileNameW(dumpPath))) {
        return std::wstring();
    }
    PathRemoveExtensionW(base);
    return base;
}

bool PathBesideDumpPath(const wchar_t* dumpPath, const std::wstring& name,
                        wchar_t (&path)[MAX_PATH]) {
    wchar_t directory[MAX_PATH];
    if (!DumpDirectoryOf(dumpPath, directory)) {
        return false;
    }
    return directory[0] == L'\0'
               ? CopyBounded(path, MAX_PATH, name.c_str())
               : FormatBounded(path, MAX_PATH, L"%s\\%s", directory, name.c_str());
}
