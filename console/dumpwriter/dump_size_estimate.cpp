#include "console/dumpwriter/dump_size_estimate.h"

#include <windows.h>
#include <psapi.h>

uint64_t EstimatedDumpBytes(const DumpRequest& request) {
    const bool fullMemory = (request.dumpType & MiniDumpWithFullMemory) != 0;
    if (!fullMemory && !request.miniPlus) {
        return 0;
    }
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(request.process,
                              reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof(counters))) {
        return 0;
    }
    return counters.PrivateUsage;
}
