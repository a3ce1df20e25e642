#include "console/dumpwriter/dump_directory.h"

#include <windows.h>

#include <cwchar>

#include "console/dumpwriter/dump_names.h"

void CreateDumpDirectory(const wchar_t* dumpPath) {
    wchar_t directory[MAX_PATH];
    if (!DumpDirectoryOf(dumpPath, directory)) {
        return;
    }
    if (CreateDirectoryW(directory, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) {
        return;
    }
    for (size_t length : ParentPrefixLengths(directory)) {
        wchar_t parent[MAX_PATH];
        wmemcpy(parent, directory, length);
        parent[length] = L'\0';
        CreateDirectoryW(parent, nullptr);
    }
    CreateDirectoryW(directory, nullptr);
}
