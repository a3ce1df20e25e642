#pragma once

#include <windows.h>

// Enables SeDebugPrivilege in the program's own token; prints its report and
// returns false when the token cannot be opened or adjusted.
bool EnableDebugPrivilege();

BOOL SetDebugPrivilege(HANDLE token);
