// The dump writer's single entry: writes the series of one trigger.
#pragma once

#include <windows.h>
#include <dbghelp.h>

#include <cstdint>

// Under dumpLock: when *dumpsWritten is already set, returns 1 at once
// without writing or printing. Otherwise creates the dump directory, writes
// dumpCount files back to back (numbered names when more than one), prints
// "Dump written.\n" only when every file was written, sets *dumpsWritten and,
// when a file failed, *dumpFailed. Returns the result of the last file
// attempted (nonzero = written).
uint32_t WriteDumpSeries(HANDLE process, uint32_t processId, const wchar_t* dumpPath,
                         uint32_t dumpCount, uint32_t overwrite, uint32_t dumpType,
                         MINIDUMP_EXCEPTION_INFORMATION* exceptionInformation, uint32_t miniPlus,
                         const wchar_t* dumpComment, CRITICAL_SECTION* dumpLock,
                         uint32_t* dumpsWritten, uint32_t reflect, uint32_t* dumpFailed);
