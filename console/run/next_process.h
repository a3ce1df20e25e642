// Following a process by its image name: when the watched one has ended,
// the next process of that name that has not been watched yet.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

// A process that was watched: an identifier together with its creation
// time, since an identifier can be given to a new process once the old one
// has ended.
struct WatchedProcess {
    uint32_t id;
    uint64_t created;
};

// When the process was created (100 ns units), 0 when that cannot be read.
uint64_t ProcessCreationTime(HANDLE process);

// Whether a process (identifier and creation time) is one of those watched.
bool AlreadyWatched(const std::vector<WatchedProcess>& watched, const WatchedProcess& process);

// Looks once a second for the first process of the snapshot whose image is
// named `name` (letter case aside) and that is not one of `watched`, until
// one is found (true, *found set) or the stop signal is raised (false).
bool WaitForNextProcess(const wchar_t* name, const std::vector<WatchedProcess>& watched,
                        HANDLE stopSignal, WatchedProcess* found);
