#include "console/run/process_lookup.h"

#include <tlhelp32.h>

#include <cwchar>

#include "common/bounded_text.h"
#include "common/process_snapshot_walk.h"

HANDLE TakeProcessSnapshot() {
    return CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
}

bool FindProcessIdByName(const wchar_t* name, uint32_t* processId, HANDLE snapshot) {
    return WalkProcessSnapshot(snapshot, [&](const PROCESSENTRY32W& entry) {
        if (_wcsicmp(entry.szExeFile, name) != 0) {
            return false;
        }
        *processId = entry.th32ProcessID;
        return true;
    });
}

bool FindProcessNameById(uint32_t processId, wchar_t* name, HANDLE snapshot) {
    return WalkProcessSnapshot(snapshot, [&](const PROCESSENTRY32W& entry) {
        if (entry.th32ProcessID != processId) {
            return false;
        }
        return CopyBounded(name, MAX_PATH, entry.szExeFile);
    });
}

bool IsSystemProcessName(const wchar_t* name) {
    return _wcsicmp(name, L"system") == 0;
}
