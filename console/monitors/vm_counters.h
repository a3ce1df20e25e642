// The memory counters the system keeps of a process, as its process query
// returns them and as they stand inside its process list's records.
#pragma once

#include <windows.h>

struct VmCounters {
    SIZE_T peakVirtualSize;
    SIZE_T virtualSize;
    ULONG pageFaultCount;
    SIZE_T peakWorkingSetSize;
    SIZE_T workingSetSize;
    SIZE_T quotaPeakPagedPoolUsage;
    SIZE_T quotaPagedPoolUsage;
    SIZE_T quotaPeakNonPagedPoolUsage;
    SIZE_T quotaNonPagedPoolUsage;
    SIZE_T pagefileUsage;
    SIZE_T peakPagefileUsage;
    // The commit charge (the process's private committed bytes) in the
    // process query's answer. In the process list this place is the private
    // page count, which Wine leaves at zero: there pagefileUsage carries the
    // commit charge.
    SIZE_T privateUsage;
};
static_assert(sizeof(VmCounters) == 12 * sizeof(SIZE_T), "96 bytes (64-bit) or 48 (32-bit)");
