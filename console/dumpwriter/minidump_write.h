// The pieces every dump file write shares, the live process's and a
// reflected clone's alike: creating the file and one MiniDumpWriteDump call.
#pragma once

#include <windows.h>
#include <dbghelp.h>

#include <cstdint>

#include "common/unique_resource.h"

// Opens the dump file for writing: replaced with overwrite, never otherwise.
UniqueFile CreateDumpFile(const wchar_t* fileName, bool overwrite);

struct DumpWriteOutcome {
    BOOL written;
    DWORD error;  // the last error right after a failed write
};

// One MiniDumpWriteDump call with the comment stream (terminating zero
// included), the callback with a region map of its own, and the caller's
// exception information passed through unchanged. A file the platform
// reports as written but that is cut short counts as failed.
DumpWriteOutcome WriteDumpToFile(HANDLE process, uint32_t processId, HANDLE file, uint32_t dumpType,
                                 MINIDUMP_EXCEPTION_INFORMATION* exceptionInformation,
                                 bool miniPlus, const wchar_t* dumpComment,
                                 MINIDUMP_CALLBACK_ROUTINE userCallback);
