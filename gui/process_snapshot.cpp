#include "gui/process_snapshot.h"

#include <tlhelp32.h>

#include "common/unique_resource.h"
#include "gui/logic/text_values.h"

bool ReadProcessSnapshot(std::vector<ProcessEntry>* processes) {
    processes->clear();
    UniqueSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return false;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry)) {
        entry.szExeFile[ARRAYSIZE(entry.szExeFile) - 1] = L'\0';
        processes->push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile});
    }
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
