// Writing one dump file of the live process.
#pragma once

#include <windows.h>

#include <cstdint>

#include "console/dumpwriter/dump_request.h"

// The live process's dump when reflection is asked for: the small default
// content, whatever the run asked for; the clone gets the run's word.
constexpr uint32_t kReflectLiveDumpType = 0x125;

struct LiveDumpOutcome {
    bool written;
    DWORD error;     // why the write failed, not yet reported
    uint64_t bytes;  // the file's size once written
};

// Prints "Writing dump file ..." and writes the live process into the file
// just created for it. A failed write is not reported here: with reflection
// its report comes after the clone's dump (see ReportFailedLiveDump).
LiveDumpOutcome WriteLiveDump(const DumpRequest& request, const wchar_t* fileName, HANDLE file);

// Reports a failed live dump and deletes its file, so that every dump file
// left on disk is complete.
void ReportFailedLiveDump(const wchar_t* fileName, DWORD error);
