// Look-ups in a toolhelp snapshot of the running processes.
#pragma once

#include <windows.h>

#include <cstdint>

// A snapshot of all processes; invalid when none could be taken.
HANDLE TakeProcessSnapshot();

// Each walks the snapshot from its first entry and closes it in both
// outcomes. Names are complete image names compared without regard to case.
bool FindProcessIdByName(const wchar_t* name, uint32_t* processId, HANDLE snapshot);
bool FindProcessNameById(uint32_t processId, wchar_t* name /* MAX_PATH */, HANDLE snapshot);

bool IsSystemProcessName(const wchar_t* name);
