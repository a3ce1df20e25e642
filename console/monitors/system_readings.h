// The system queries of a sampling pass, each a thin call that returns the
// system's status (negative when it failed) and writes its value only on
// success. The failure reports are the caller's.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "common/unique_resource.h"

// The processors' kernel plus user time together (their kernel time
// includes the idle time, so this is the elapsed time of the whole
// machine), units of 100 ns. `buffer` holds one record per processor and is
// allocated on the first call; a failed allocation reports itself and
// returns false with *status 0.
bool QueryProcessorsTotal(UniqueHeapMemory& buffer, uint64_t* total, LONG* status);

// The system's list of every process with its threads, into `buffer`
// (8-byte aligned, grown as often as the system says it is too small).
LONG QueryProcessList(std::vector<uint64_t>& buffer, ULONG* length);

// One process's own kernel plus user time, and its private committed bytes.
LONG QueryProcessCpuTime(HANDLE process, uint64_t* total);
LONG QueryProcessCommit(HANDLE process, uint64_t* privateBytes);
