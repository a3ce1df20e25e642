// The dump of a reflected clone of the target (-r), written beside the live
// process's dump, with the side file that names both.
#pragma once

#include <windows.h>
#include <dbghelp.h>

#include <cstdint>

#include "console/dumpwriter/dump_request.h"

// What the platform fills in for a new clone, in this order.
struct ReflectionInformation {
    HANDLE process;
    HANDLE thread;
    uintptr_t processId;
    uintptr_t threadId;
};

using CreateProcessReflectionFunction = LONG(NTAPI*)(HANDLE process, ULONG flags,
                                                     void* startRoutine, void* startContext,
                                                     HANDLE eventHandle,
                                                     ReflectionInformation* information);

// Where the clone routine comes from: by default the native library's
// "RtlCreateProcessReflection", looked up on every reflected write. Tests
// replace it with a routine of their own making (null restores the default).
using ReflectionLookUp = CreateProcessReflectionFunction (*)();
void SetReflectionLookUp(ReflectionLookUp lookUp);

// Writes the side file that names the live dump and the clone dump. Returns
// true when it was written whole. Never replaces the live dump itself; a text
// too long for its buffer, or names the current locale cannot encode, are
// reported and nothing is written; a partly written file is deleted.
bool WriteSideFile(const wchar_t* sideFile, const wchar_t* dumpFile, const wchar_t* cloneDump);

// Dumps a fresh clone of the request's process beside dumpFile, with the
// request's flag word, exception and comment, and writes the side file.
// Returns nonzero when the clone's dump was written. Without the clone
// routine it returns 0 and prints nothing.
uint32_t WriteReflectedDump(const DumpRequest& request, const wchar_t* dumpFile);
