#include "common/windows_version.h"

OSVERSIONINFOEXW QueryWindowsVersion() {
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) {
        OSVERSIONINFOEXW none = {};
        return none;
    }
    return version;
}
