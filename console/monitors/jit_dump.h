// The dump of a just-in-time start: the system names the failing process and
// the address, inside it, of a record that points at the exception record and
// context of the failing thread.
#pragma once

#include <windows.h>

#include <cstdint>

// Formats the comment, follows the record when there is a usable one, and
// writes the series (with the exception of the failing thread when the
// record could be followed, without exception information otherwise).
// Returns the dump writer's result.
uint32_t WriteJitDump(HANDLE process, uint32_t processId, const wchar_t* dumpPath,
                      uint32_t dumpCount, uint32_t overwrite, uint32_t dumpType, uint32_t miniPlus,
                      CRITICAL_SECTION* dumpLock, uint32_t* dumpsWritten, uint32_t reflect,
                      uintptr_t jitDebugInfo, uint32_t jitEvent, uint32_t* dumpFailed);
