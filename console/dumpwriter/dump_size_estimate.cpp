#include "console/dumpwriter/dump_size_estimate.h"

#include <psapi.h>

namespace {

// Far more regions than any process has; a walk that finds more is wrong.
constexpr size_t kMostRegions = 1000000;

bool Readable(const MEMORY_BASIC_INFORMATION& region) {
    return region.State == MEM_COMMIT && (region.Protect & PAGE_NOACCESS) == 0 &&
           (region.Protect & PAGE_GUARD) == 0;
}

uint64_t CommitCharge(HANDLE process) {
    // The private committed memory. (Some platforms leave the larger
    // record's PrivateUsage empty; this field they all fill.)
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(process, &counters, sizeof(counters))) {
        return 0;
    }
    return counters.PagefileUsage;
}

// The target's regions, one query each; false when the walk failed early.
bool RegionsOf(HANDLE process, std::vector<MEMORY_BASIC_INFORMATION>* regions) {
    const char* address = nullptr;
    MEMORY_BASIC_INFORMATION region = {};
    while (VirtualQueryEx(process, address, &region, sizeof(region)) == sizeof(region)) {
        if (regions->size() == kMostRegions) {
            return false;
        }
        regions->push_back(region);
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= address) {
            break;  // the top of the address space
        }
        address = next;
    }
    return !regions->empty();
}

}  // namespace

uint64_t FullMemoryBytesOf(const std::vector<MEMORY_BASIC_INFORMATION>& regions) {
    uint64_t bytes = 0;
    for (const MEMORY_BASIC_INFORMATION& region : regions) {
        if (Readable(region)) {
            bytes += region.RegionSize;
        }
    }
    return bytes;
}

uint64_t EstimatedDumpBytes(const DumpRequest& request) {
    const bool fullMemory = (request.dumpType & MiniDumpWithFullMemory) != 0;
    if (fullMemory) {
        std::vector<MEMORY_BASIC_INFORMATION> regions;
        if (RegionsOf(request.process, &regions)) {
            return FullMemoryBytesOf(regions);
        }
    }
    return fullMemory || request.miniPlus ? CommitCharge(request.process) : 0;
}
