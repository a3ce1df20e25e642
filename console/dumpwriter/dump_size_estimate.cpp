#include "console/dumpwriter/dump_size_estimate.h"

#include <windows.h>
#include <psapi.h>

uint64_t EstimatedDumpBytes(const DumpRequest& request) {
    const bool fullMemory = (request.dumpType & MiniDumpWithFullMemory) != 0;
    if (!fullMemory && !request.miniPlus) {
        return 0;
    }
    // The commit charge: the private committed memory. (Some platforms leave
    // the larger record's PrivateUsage empty; this field they all fill.)
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(request.process, &counters, sizeof(counters))) {
        return 0;
    }
    return counters.PagefileUsage;
}
