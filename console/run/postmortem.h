// Registering the program as the system's postmortem (just-in-time)
// debugger with -i.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "console/options/option_scan.h"

constexpr size_t kDebuggerCommandCapacity = 2048;

struct PostmortemChoice {
    const wchar_t* programPath;
    bool fullMemory;   // -ma
    bool miniPlus;     // -mp
    bool userLibrary;  // -d
    const wchar_t* libraryPath;
    const wchar_t* dumpPath;
    DWORD windowsMajorVersion;
    // The bounds that travel with the registration, each only when given.
    uint32_t keepFiles = 0;  // -keep
    uint32_t freeMB = 0;     // -free
    bool metadata = false;   // -meta
};

// Builds the "Debugger" value: the quoted program path, at most one
// dump-content option (-ma before -mp before -d), the bounds given (-keep,
// -free, -meta), -j with the quoted dump path, and the placeholders the
// system fills in. A quoted path ending in backslashes has them doubled, so
// that the closing quote still closes it. False, leaving out empty, when the
// line would not fit.
bool BuildDebuggerCommandLine(const PostmortemChoice& choice, wchar_t* out /* capacity above */);

// Writes "Auto" and "Debugger" in the 64-bit view, and under WOW64 in the
// 32-bit view too, printing a "Set:" block for each view written. Returns 0
// or the error of the first step that failed (already reported).
// The dump file (or folder), the content option and the bounds come from the
// scanned options.
LONG RegisterPostmortemDebugger(const ScannedOptions& options);
