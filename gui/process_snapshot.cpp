#include "gui/process_snapshot.h"

#include <tlhelp32.h>

#include "common/process_snapshot_walk.h"
#include "gui/logic/text_values.h"

bool ReadProcessSnapshot(std::vector<ProcessEntry>* processes) {
    processes->clear();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return false;
    }
    WalkProcessSnapshot(snapshot, [processes](const PROCESSENTRY32W& entry) {
        processes->push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile});
        return false;
    });
    return true;
}

bool FindProcessIdByName(const std::wstring& name, DWORD* processId) {
    std::vector<ProcessEntry> processes;
    return ReadProcessSnapshot(&processes) && FindIdByName(processes, name, processId);
}

bool FindProcessNameById(DWORD processId, std::wstring* name) {
    std::vector<ProcessEntry> processes;
    return ReadProcessSnapshot(&processes) && FindNameById(processes, processId, name);
}
