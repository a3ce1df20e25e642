// The command line -i registers as the system's postmortem debugger, and
// recognising such a line as ours. Its shape is described once, in
// registered_line.cpp, and both directions are read from that description:
//
//   "<program>" [-ma | -mp | -d "<library>"] [-keep <n>] [-free <n>] [-meta]
//     [-rate <n>] [-log "<event log>"] [-upload "<url>"]
//     -j "<dump file or folder>" %ld %ld %p
//
// The system formats the line with printf-style placeholders before it
// starts the debugger, so a "%" in any quoted value is written doubled; a
// quoted value ending in backslashes has them doubled, so that the closing
// quote still closes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

constexpr size_t kDebuggerCommandCapacity = 2048;

// The dump content a registration carries: at most one, -ma before -mp
// before -d.
enum class RegisteredContent { kDefault, kFullMemory, kMiniPlus, kUserLibrary };

struct RegisteredLine {
    std::wstring programPath;
    RegisteredContent content = RegisteredContent::kDefault;
    std::wstring libraryPath;  // with kUserLibrary
    // The bounds that travel with the registration, each only when given.
    uint32_t keepFiles = 0;    // -keep
    uint32_t freeMB = 0;       // -free
    bool metadata = false;     // -meta
    uint32_t ratePerHour = 0;  // -rate
    std::wstring logPath;      // -log: every start appends its events there
    // -upload: every start sends its dump there. The value stays readable
    // in the registry, key included, for every user of the machine.
    std::wstring uploadUrl;
    std::wstring dumpPath;  // the dump file or folder given to -i
    // Windows Vista and later pass the address of the just-in-time record in
    // the third place; earlier ones get a literal 0 there.
    bool debugInfoAddress = true;
};

// The "Debugger" value. False, leaving out empty, when the line would not
// fit kDebuggerCommandCapacity characters with its terminator.
bool BuildDebuggerCommandLine(const RegisteredLine& line, wchar_t* out /* capacity above */);

// The registration a "Debugger" value holds, when it has the shape above and
// the program's file name begins with "varnhold" and ends with ".exe" (any
// build or copy of the program, the dialog program's extracted one
// included). Nothing for any other value.
std::optional<RegisteredLine> ParseDebuggerCommandLine(const wchar_t* command);

inline bool IsOurDebuggerCommand(const wchar_t* command) {
    return ParseDebuggerCommandLine(command).has_value();
}
