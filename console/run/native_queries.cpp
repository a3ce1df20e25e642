#include "console/run/native_queries.h"

#include "common/console_output.h"
#include "common/process_wide.h"

FARPROC LookUpLoadedExport(const wchar_t* moduleName, const char* exportName) {
    HMODULE module = GetModuleHandleW(moduleName);
    return module != nullptr ? GetProcAddress(module, exportName) : nullptr;
}

bool ResolveNativeQueries(ExportLookUp lookUp) {
    g_processWide.ntQuerySystemInformation = reinterpret_cast<NtQuerySystemInformationFunction>(
        reinterpret_cast<void*>(lookUp(L"ntdll.dll", "NtQuerySystemInformation")));
    g_processWide.ntQueryInformationProcess = reinterpret_cast<NtQueryInformationProcessFunction>(
        reinterpret_cast<void*>(lookUp(L"ntdll.dll", "NtQueryInformationProcess")));
    if (g_processWide.ntQuerySystemInformation != nullptr &&
        g_processWide.ntQueryInformationProcess != nullptr) {
        return true;
    }
    PrintWide(
        L"Failed to find NtQuerySystemInformation and NtQueryInformationProcess in "
        L"ntdll.dll.\n");
    return false;
}
