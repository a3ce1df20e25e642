// Writing one dump file of the live process, and the pieces a reflected dump
// shares with it.
#pragma once

#include <windows.h>
#include <dbghelp.h>

#include <cstdint>

#include "common/unique_resource.h"

// The live process's dump when reflection is asked for: the small default
// content, whatever the run asked for; the clone gets the run's word.
constexpr uint32_t kReflectLiveDumpType = 0x125;

// Opens the dump file for writing: replaced with overwrite, never otherwise.
UniqueFile CreateDumpFile(const wchar_t* fileName, uint32_t overwrite);

struct DumpWriteOutcome {
    BOOL written;
    DWORD error;  // the last error right after a failed write
};

// One MiniDumpWriteDump call with the comment stream (terminating zero
// included), the callback with a region map of its own, and the caller's
// exception information passed through unchanged.
DumpWriteOutcome WriteDumpToFile(HANDLE process, uint32_t processId, HANDLE file, uint32_t dumpType,
                                 MINIDUMP_EXCEPTION_INFORMATION* exceptionInformation,
                                 uint32_t miniPlus, const wchar_t* dumpComment);

// Returns nonzero when the live process's dump was written. A file whose
// write failed is deleted after the failure report, so that every dump file
// left on disk is complete.
uint32_t WriteDumpFile(HANDLE process, uint32_t processId, const wchar_t* fileName,
                       uint32_t overwrite, uint32_t dumpType,
                       MINIDUMP_EXCEPTION_INFORMATION* exceptionInformation, uint32_t miniPlus,
                       const wchar_t* dumpComment, uint32_t reflect);
