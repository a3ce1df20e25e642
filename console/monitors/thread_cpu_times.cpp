#include "console/monitors/thread_cpu_times.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>

namespace {

uint64_t FromFileTime(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The identifiers of the process's threads, in ascending order.
bool ListThreadIds(uint32_t processId, std::vector<uint32_t>& ids, uint32_t* error) {
    ids.clear();
    UniqueSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) {
        *error = GetLastError();
        return false;
    }
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot.Get(), &entry); more;
         more = Thread32Next(snapshot.Get(), &entry)) {
        if (entry.th32OwnerProcessID == processId) {
            ids.push_back(entry.th32ThreadID);
        }
    }
    std::sort(ids.begin(), ids.end());
    return true;
}

// Kernel plus user time of a thread that is still running; false for one
// that has ended (its identifier may already belong to a new thread).
bool ReadRunningThread(HANDLE thread, uint32_t id, ThreadTimeReading* reading) {
    FILETIME creation, exit, kernel, user;
    if (!GetThreadTimes(thread, &creation, &exit, &kernel, &user) || FromFileTime(exit) != 0) {
        return false;
    }
    *reading = {id, FromFileTime(creation), FromFileTime(kernel) + FromFileTime(user)};
    return true;
}

// The handle kept from the last sample when its thread still runs,
// otherwise a new one for the identifier.
void ReadThread(ThreadCpuTimes& times, uint32_t id, std::vector<OpenTargetThread>::iterator& kept) {
    kept = std::lower_bound(
        kept, times.open.end(), id,
        [](const OpenTargetThread& thread, uint32_t value) { return thread.threadId < value; });
    ThreadTimeReading reading;
    if (kept != times.open.end() && kept->threadId == id &&
        ReadRunningThread(kept->handle.Get(), id, &reading)) {
        times.readings.push_back(reading);
        times.next.push_back({id, std::move(kept->handle)});
        return;
    }
    UniqueHandle opened(OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, id));
    // A thread that ended since the snapshot, or one we may not read.
    if (opened && ReadRunningThread(opened.Get(), id, &reading)) {
        times.readings.push_back(reading);
        times.next.push_back({id, std::move(opened)});
    }
}

}  // namespace

bool SampleThreadCpuTotal(ThreadCpuTimes& times, uint32_t processId, uint64_t* total,
                          uint32_t* error) {
    if (!ListThreadIds(processId, times.ids, error)) {
        return false;
    }
    times.readings.clear();
    times.next.clear();
    auto kept = times.open.begin();
    for (uint32_t id : times.ids) {
        ReadThread(times, id, kept);
    }
    // Handles of threads that have gone are closed here.
    times.open.swap(times.next);
    times.next.clear();
    *total = AddThreadSample(times.ledger, times.readings);
    return true;
}
