// Writing one dump file of the live process.
#pragma once

#include <windows.h>

#include "console/dumpwriter/dump_request.h"

// The live process's dump when reflection is asked for: the small default
// content, whatever the run asked for; the clone gets the run's word.
constexpr uint32_t kReflectLiveDumpType = 0x125;

struct LiveDumpOutcome {
    bool created;  // false: the file could not be created (already reported)
    bool written;
    DWORD error;  // why the write failed, not yet reported
};

// Creates the file (reporting "Failed to create dump file" when it cannot),
// prints "Writing dump file ..." and writes the live process into it. A
// failed write is not reported here: with reflection its report comes after
// the clone's dump (see ReportFailedLiveDump).
LiveDumpOutcome WriteLiveDump(const DumpRequest& request, const wchar_t* fileName);

// Reports a failed live dump and deletes its file, so that every dump file
// left on disk is complete.
void ReportFailedLiveDump(const wchar_t* fileName, DWORD error);
