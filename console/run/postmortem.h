// Registering the program as the system's postmortem (just-in-time)
// debugger with -i.
#pragma once

#include <windows.h>

#include <cstddef>

constexpr size_t kDebuggerCommandCapacity = 2048;

struct PostmortemChoice {
    const wchar_t* programPath;
    bool fullMemory;   // -ma
    bool miniPlus;     // -mp
    bool userLibrary;  // -d
    const wchar_t* libraryPath;
    const wchar_t* dumpPath;
    DWORD windowsMajorVersion;
};

// Builds the "Debugger" value: the quoted program path, at most one
// dump-content option (-ma before -mp before -d), -j with the quoted dump
// path, and the placeholders the system fills in. False, leaving out empty,
// when the line would not fit.
bool BuildDebuggerCommandLine(const PostmortemChoice& choice, wchar_t* out /* capacity above */);

// Writes "Auto" and "Debugger" in the 64-bit view, and under WOW64 in the
// 32-bit view too, printing a "Set:" block for each view written. Returns 0
// or the error of the first step that failed (already reported).
LONG RegisterPostmortemDebugger(const wchar_t* dumpPath, bool fullMemory, bool miniPlus,
                                bool userLibrary, const wchar_t* libraryPath);
