// Registering the program as the system's postmortem (just-in-time)
// debugger with -i.
#pragma once

#include <windows.h>

#include "console/options/option_scan.h"

// Writes "Auto" and "Debugger" in the 64-bit view, and under WOW64 in the
// 32-bit view too, printing a "Set:" block for each view written. Returns 0
// or the error of the first step that failed (already reported).
// The dump file (or folder), the content option and the bounds come from the
// scanned options.
LONG RegisterPostmortemDebugger(const ScannedOptions& options);
