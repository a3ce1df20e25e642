#include "console/options/dump_type.h"

#include <windows.h>

uint32_t AddDebugHelpFlags(uint32_t dumpType, bool enumDirTreeExported) {
    return enumDirTreeExported ? dumpType | kExtendedDumpFlags : dumpType;
}

bool DebugHelpExportsEnumDirTree() {
    // The program links dbghelp.dll, so it is loaded already.
    HMODULE debugHelp = GetModuleHandleW(L"dbghelp.dll");
    return debugHelp != nullptr && GetProcAddress(debugHelp, "EnumDirTreeW") != nullptr;
}
