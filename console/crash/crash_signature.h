// The key a crash server groups dumps by when it does not read their
// symbols: where in the program's own code the thread was, and why it
// stopped, the same across runs and machines (no addresses, no process ids).
#pragma once

#include <string>

#include "console/crash/crash_report.h"

// Whether a module is one of the system's or of a C or C++ runtime's own, by
// its file name in any letter case: a crash is told by the code that called
// into them, not by where inside them it ended.
bool IsSystemModule(const std::wstring& fileName);

// The first three frames (or fewer) in modules that are not the system's,
// as "<module in lower case>+0x<offset>", then the reason without the
// address it touched, all joined by " | ":
//   "app.exe+0x1a2b | app.exe+0x1100 | app.exe+0x20f0 | ACCESS_VIOLATION writing"
// Frames outside every module are left out: their addresses differ from run
// to run. Without such a frame the first frame that has a module stands in,
// and "?" without any. UTF-8.
std::string CrashSignature(const CrashReport& report);
