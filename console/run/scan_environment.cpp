#include "console/run/scan_environment.h"

#include <windows.h>

#include "common/windows_version.h"
#include "console/report/error_report.h"

namespace {

// The library stays loaded for the life of the process.
bool LoadUserLibrary(const wchar_t* path, MINIDUMP_CALLBACK_ROUTINE* callback) {
    HMODULE library = LoadLibraryW(path);
    if (library == nullptr) {
        ReportWin32Error(L"Failed to load user dll", GetLastError());
        return false;
    }
    FARPROC routine = GetProcAddress(library, "MiniDumpCallbackRoutine");
    if (routine == nullptr) {
        ReportWin32Error(L"Failed to get MiniDumpCallbackRoutine address", GetLastError());
        return false;
    }
    *callback = reinterpret_cast<MINIDUMP_CALLBACK_ROUTINE>(reinterpret_cast<void*>(routine));
    return true;
}

bool ReflectionSupported() {
    OSVERSIONINFOEXW version = QueryWindowsVersion();
    return version.dwMajorVersion > 6 ||
           (version.dwMajorVersion == 6 && version.dwMinorVersion >= 1);
}

const ScanEnvironment kRealEnvironment = {LoadUserLibrary, ReflectionSupported};

}  // namespace

const ScanEnvironment& RealScanEnvironment() {
    return kRealEnvironment;
}
