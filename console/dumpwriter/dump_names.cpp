#include "console/dumpwriter/dump_names.h"

#include <shlwapi.h>

#include <cstdio>
#include <cwchar>

#include "common/bounded_text.h"

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
    // FALSE here only says that nothing was added.
    PathAddExtensionW(names->sideFile, L".ini");
    return true;
}

bool SameFileName(const wchar_t* first, const wchar_t* second) {
    wchar_t firstFull[MAX_PATH];
    wchar_t secondFull[MAX_PATH];
    DWORD firstLength = GetFullPathNameW(first, MAX_PATH, firstFull, nullptr);
    DWORD secondLength = GetFullPathNameW(second, MAX_PATH, secondFull, nullptr);
    if (firstLength == 0 || firstLength >= MAX_PATH || secondLength == 0 ||
        secondLength >= MAX_PATH) {
        return _wcsicmp(first, second) == 0;
    }
    return CompareStringOrdinal(firstFull, -1, secondFull, -1, TRUE) == CSTR_EQUAL;
}

SideFileText FormatSideFileText(const wchar_t* dumpFile, const wchar_t* cloneDump, char* buffer,
                                size_t capacity, size_t* length) {
    *length = 0;
    if (capacity != 0) {
        buffer[0] = '\0';
    }
    const wchar_t* dumpName = PathFindFileNameW(dumpFile);
    const wchar_t* cloneName = PathFindFileNameW(cloneDump);
    // The runtime's own meanings: "%S" in a narrow format converts a wide
    // text in the current locale, and the count is negative when a name has
    // a character the locale cannot encode.
    const char* format = "[UserModeDump]\r\ndefault=%S\r\nmemory=%S\r\nmodule=%S\r\n";
    int needed = _scprintf(format, dumpName, cloneName, dumpName);
    if (needed < 0) {
        return SideFileText::kUnconvertible;
    }
    if (static_cast<size_t>(needed) >= capacity) {
        return SideFileText::kTooLong;
    }
    int written = _snprintf(buffer, capacity, format, dumpName, cloneName, dumpName);
    if (written != needed) {
        buffer[0] = '\0';
        return SideFileText::kUnconvertible;
    }
    *length = static_cast<size_t>(written);
    return SideFileText::kFormatted;
}
