// Typed look-up of a function that a system library may or may not export.
// Absence is an ordinary outcome: the result is null and the caller decides
// what to report.
#pragma once

#include <windows.h>

template <typename Function>
Function LookUpExport(const wchar_t* moduleName, const char* exportName) {
    HMODULE module = GetModuleHandleW(moduleName);
    if (module == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, exportName)));
}
