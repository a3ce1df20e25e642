// Walking a toolhelp snapshot of the running processes.
#pragma once

#include <windows.h>

#include <tlhelp32.h>

#include "common/unique_resource.h"

// Takes over the snapshot, calls visit for each entry (with a terminated
// image name) until it returns true, and closes the snapshot. Returns whether
// visit returned true; false also when the snapshot is invalid.
template <typename Visit>
bool WalkProcessSnapshot(HANDLE snapshotHandle, Visit visit) {
    UniqueSnapshot snapshot(snapshotHandle);
    if (!snapshot) {
        return false;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry)) {
        entry.szExeFile[ARRAYSIZE(entry.szExeFile) - 1] = L'\0';
        if (visit(entry)) {
            return true;
        }
    }
    return false;
}
