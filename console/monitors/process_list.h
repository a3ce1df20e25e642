// The system's list of processes (one process-information query of the
// whole system), read for the processes a run watches: one list per
// sampling pass serves every watched process. Kept free of system calls so
// that it can be fed a made-up list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "console/monitors/thread_cpu_ledger.h"

// What the list says of one process.
struct ListedProcess {
    bool found;            // the process is in the list
    uint64_t cpuTime;      // its kernel plus user time, 100 ns units (0 where not told)
    uint64_t commitBytes;  // its private committed bytes (the commit charge)
    const void* threads;   // its threads' records, inside the list
    uint32_t threadCount;  // as many as lie inside the list
};

// Finds the process in the list of `length` bytes.
ListedProcess FindListedProcess(const void* list, size_t length, uint32_t processId);

// Appends one reading per thread of the process found.
void ReadListedThreads(const ListedProcess& process, std::vector<ThreadTimeReading>& readings);

// Appends the identifier of every process in the list whose image is named
// `name` (letter case aside), in the list's order.
void ListedProcessesNamed(const void* list, size_t length, const wchar_t* name,
                          std::vector<uint32_t>& ids);
