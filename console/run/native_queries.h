// The native query functions every sampling pass calls, looked up once before
// the monitor threads start.
#pragma once

#include <windows.h>

// How a function is found in a loaded system library: by default the real
// look-up, replaced by tests with one that finds nothing.
using ExportLookUp = FARPROC (*)(const wchar_t* moduleName, const char* exportName);
FARPROC LookUpLoadedExport(const wchar_t* moduleName, const char* exportName);

// Stores NtQuerySystemInformation and NtQueryInformationProcess of ntdll.dll
// process-wide. When either is missing it says so and returns false: a run
// that cannot sample must not end as if it had watched.
bool ResolveNativeQueries(ExportLookUp lookUp = LookUpLoadedExport);
