// The dump type word's extended flags, granted when the debug-help library
// in the process is recent enough for them.
#pragma once

#include <cstdint>

// MiniDumpWithFullMemoryInfo | MiniDumpWithThreadInfo | MiniDumpWithTokenInformation
constexpr uint32_t kExtendedDumpFlags = 0x41800;

uint32_t AddDebugHelpFlags(uint32_t dumpType, bool enumDirTreeExported);

// Whether the loaded dbghelp.dll exports EnumDirTreeW. The export is only a
// sign of the library's age; it is never called.
bool DebugHelpExportsEnumDirTree();
