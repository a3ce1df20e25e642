// Names derived from one dump file's path: the parent directories to
// create, and the clone dump and side file of a reflected dump. Pure text work on buffers of
// MAX_PATH characters; a name that would not fit is refused, never shortened.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// The directory that will hold the dump file: the path without its last
// element. False when the path does not fit a MAX_PATH buffer.
bool DumpDirectoryOf(const wchar_t* dumpPath, wchar_t (&directory)[MAX_PATH]);

// Lengths of the prefixes of the directory text that end in front of a
// backslash, looking from the fourth character on (so that a drive root such
// as C:\ is never one of them), in order from the shortest.
std::vector<size_t> ParentPrefixLengths(const wchar_t* directory);

struct ReflectedDumpNames {
    wchar_t cloneDump[MAX_PATH];  // base + "-reflected.dmp"
    wchar_t sideFile[MAX_PATH];   // base with ".ini" added when it has no extension
};

// Names beside the live dump file. False when one of them does not fit.
bool BuildReflectedDumpNames(const wchar_t* dumpFile, ReflectedDumpNames* names);

// True when both names lead to the same file once the system has made full
// paths of them (case, trailing dots and relative parts do not matter).
bool SameFileName(const wchar_t* first, const wchar_t* second);

// The first line of every side file.
constexpr char kSideFileSection[] = "[UserModeDump]\r\n";

enum class SideFileText {
    kFormatted,
    kTooLong,        // the text does not fit the buffer
    kUnconvertible,  // a name has characters the current locale cannot encode
};

// The narrow "[UserModeDump]" text naming the live dump (default and module)
// and the clone dump (memory) without their directories, each converted to
// the multibyte encoding of the runtime's current locale. Writes at most
// capacity bytes (terminator included; *length counts the text without it).
// Anything but kFormatted leaves nothing to write.
SideFileText FormatSideFileText(const wchar_t* dumpFile, const wchar_t* cloneDump, char* buffer,
                                size_t capacity, size_t* length);
