// Whether a process runs under WOW64 (a 32-bit process on 64-bit Windows).
#pragma once

#include <windows.h>

// True when the process runs under WOW64; false when it does not or the
// platform lacks IsWow64Process.
bool IsWow64(HANDLE process);
