#include "console/run/debug_privilege.h"

#include "common/unique_resource.h"
#include "console/report/error_report.h"

BOOL SetDebugPrivilege(HANDLE token) {
    TOKEN_PRIVILEGES privileges = {};
    if (!LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid)) {
        return FALSE;
    }
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    // Success even when the account does not hold the privilege; such a run
    // may then fail at the open step.
    return AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
}

bool EnableDebugPrivilege() {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                          token.Receive())) {
        ReportWin32Error(L"Failed to get process token", GetLastError());
        return false;
    }
    if (!SetDebugPrivilege(token.Get())) {
        ReportWin32Error(L"Failed to set Privilege", GetLastError());
        return false;
    }
    return true;
}
