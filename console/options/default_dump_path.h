// The dump path used when the command line names none: the program's
// directory, a folder <name>_<pid>_<date>_<time> and <name>.dmp in it.
#pragma once

#include <windows.h>

#include <cstdint>

// Builds the path into out (kPathCapacity characters). Returns false, with out
// empty, when the path would not fit; the path is never shortened.
bool BuildDefaultDumpPath(wchar_t* out, const wchar_t* programDirectory, const wchar_t* processName,
                          uint32_t processId, const SYSTEMTIME& now);

// Whether a dump path given to -i or -j names a folder by its text: it ends
// with a backslash (an existing directory is a folder too; that takes a look
// at the disk).
bool EndsAsFolder(const wchar_t* path);

// The directory of the running program (kPathCapacity characters).
bool ProgramDirectory(wchar_t* out);
