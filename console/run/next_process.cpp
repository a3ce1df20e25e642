#include "console/run/next_process.h"

#include <cwchar>

#include "common/file_time_ticks.h"
#include "common/process_snapshot_walk.h"
#include "common/stop_signal.h"

namespace {

constexpr DWORD kLookAgainMilliseconds = 1000;

bool FindUnwatched(const wchar_t* name, const std::vector<WatchedProcess>& watched,
                   WatchedProcess* found) {
    return WalkProcessSnapshot(
        CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0), [&](const PROCESSENTRY32W& entry) {
            if (_wcsicmp(entry.szExeFile, name) != 0) {
                return false;
            }
            UniqueHandle process(
                OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
            const WatchedProcess candidate = {entry.th32ProcessID,
                                              process ? ProcessCreationTime(process.Get()) : 0};
            if (AlreadyWatched(watched, candidate)) {
                return false;
            }
            *found = candidate;
            return true;
        });
}

}  // namespace

uint64_t ProcessCreationTime(HANDLE process) {
    FILETIME created = {};
    FILETIME exited = {};
    FILETIME kernel = {};
    FILETIME user = {};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        return 0;
    }
    return FileTimeTicks(created);
}

bool AlreadyWatched(const std::vector<WatchedProcess>& watched, const WatchedProcess& process) {
    for (const WatchedProcess& earlier : watched) {
        if (earlier.id == process.id && earlier.created == process.created) {
            return true;
        }
    }
    return false;
}

bool WaitForNextProcess(const wchar_t* name, const std::vector<WatchedProcess>& watched,
                        HANDLE stopSignal, WatchedProcess* found) {
    while (!StopRaised(stopSignal)) {
        if (FindUnwatched(name, watched, found)) {
            return true;
        }
        if (WaitForStop(stopSignal, kLookAgainMilliseconds)) {
            return false;
        }
    }
    return false;
}
