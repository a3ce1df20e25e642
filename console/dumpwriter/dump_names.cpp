#include "console/dumpwriter/dump_names.h"

#include <shlwapi.h>

#include <cstdio>
#include <cwchar>

#include "common/bounded_text.h"

bool NumberedDumpName(const wchar_t* dumpPath, uint32_t index, wchar_t (&name)[MAX_PATH]) {
    wchar_t base[MAX_PATH];
    if (!CopyBounded(base, MAX_PATH, dumpPath)) {
        name[0] = L'\0';
        return false;
    }
    PathRemoveExtensionW(base);
    return FormatBounded(name, MAX_PATH, L"%s_%u.dmp", base, index);
}

bool DumpDirectoryOf(const wchar_t* dumpPath, wchar_t (&directory)[MAX_PATH]) {
    if (!CopyBounded(directory, MAX_PATH, dumpPath)) {
        return false;
    }
    PathRemoveFileSpecW(directory);
    return true;
}

std::vector<size_t> ParentPrefixLengths(const wchar_t* directory) {
    std::vector<size_t> lengths;
    size_t length = wcslen(directory);
    for (size_t i = 3; i < length; ++i) {
        if (directory[i] == L'\\') {
            lengths.push_back(i);
        }
    }
    return lengths;
}

bool BuildReflectedDumpNames(const wchar_t* dumpFile, ReflectedDumpNames* names) {
    wchar_t base[MAX_PATH];
    if (!CopyBounded(base, MAX_PATH, dumpFile)) {
        return false;
    }
    PathRemoveExtensionW(base);
    if (!FormatBounded(names->cloneDump, MAX_PATH, L"%s-reflected.dmp", base)) {
        return false;
    }
    // PathAddExtensionW needs room for the extension; an extension already
    // present (a.b) is left alone and adds nothing.
    if (wcslen(base) + wcslen(L".ini") >= MAX_PATH && *PathFindExtensionW(base) == L'\0') {
        return false;
    }
    if (!CopyBounded(names->sideFile, MAX_PATH, base)) {
        return false;
    }
    return PathAddExtensionW(names->sideFile, L".ini") != FALSE;
}

bool FormatSideFileText(const wchar_t* dumpFile, const wchar_t* cloneDump, char* buffer,
                        size_t capacity, size_t* length) {
    *length = 0;
    if (capacity == 0) {
        return false;
    }
    const wchar_t* dumpName = PathFindFileNameW(dumpFile);
    const wchar_t* cloneName = PathFindFileNameW(cloneDump);
    // _snprintf has the runtime's meanings: "%S" in a narrow format converts
    // a wide text in the current locale. It returns a negative count when the
    // text does not fit or a name cannot be converted.
    int written =
        _snprintf(buffer, capacity, "[UserModeDump]\r\ndefault=%S\r\nmemory=%S\r\nmodule=%S\r\n",
                  dumpName, cloneName, dumpName);
    if (written < 0 || static_cast<size_t>(written) >= capacity) {
        buffer[0] = '\0';
        return false;
    }
    *length = static_cast<size_t>(written);
    return true;
}
