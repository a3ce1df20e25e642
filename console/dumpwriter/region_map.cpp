#include "console/dumpwriter/region_map.h"

#include <new>

uint64_t RegionKey(uint64_t allocationBase) {
#if defined(_WIN64)
    return allocationBase;
#else
    // The debug-help library widens 32-bit addresses this way.
    return static_cast<uint64_t>(
        static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(allocationBase))));
#endif
}

bool RegionQualifies(uint32_t state, uint32_t type, uint32_t protect) {
    if (state != MEM_COMMIT) {
        return false;
    }
    return type == MEM_PRIVATE || protect == PAGE_READWRITE || protect == PAGE_EXECUTE_READWRITE;
}

uint64_t AllocationExtent(uint64_t baseAddress, uint64_t allocationBase, uint64_t regionSize) {
    return baseAddress - allocationBase + regionSize;
}

RegionRecord ToRegionRecord(const MEMORY_BASIC_INFORMATION& region) {
    return RegionRecord{reinterpret_cast<uintptr_t>(region.BaseAddress),
                        reinterpret_cast<uintptr_t>(region.AllocationBase),
                        region.RegionSize,
                        region.State,
                        region.Type,
                        region.Protect};
}

void RecordRegion(RegionMap& map, const RegionRecord& region) {
    if (!RegionQualifies(region.state, region.type, region.protect)) {
        return;
    }
    uint64_t extent =
        AllocationExtent(region.baseAddress, region.allocationBase, region.regionSize);
    auto [entry, inserted] = map.emplace(RegionKey(region.allocationBase), extent);
    if (!inserted && extent > entry->second) {
        entry->second = extent;
    }
}

void RecordRegion(RegionMap& map, const MEMORY_BASIC_INFORMATION& region) {
    RecordRegion(map, ToRegionRecord(region));
}

bool TakeRegion(RegionMap& map, uint32_t pageSize, bool* handOut, MemoryRange* range) {
    if (map.empty()) {
        return false;
    }
    auto entry = map.begin();
    uint64_t base = entry->first;
    uint64_t extent = entry->second;
    map.erase(entry);
    *handOut = extent < kMiniPlusLimit;
    if (*handOut) {
        // Below the limit the rounded extent still fits 32 bits.
        uint64_t mask = ~static_cast<uint64_t>(pageSize - 1);
        range->base = base;
        range->size = static_cast<uint32_t>((extent + pageSize - 1) & mask);
    }
    return true;
}

void ScanRegions(HANDLE process, RegionMap& map) {
    MEMORY_BASIC_INFORMATION region = {};
    uintptr_t address = 0;
    while (VirtualQueryEx(process, reinterpret_cast<const void*>(address), &region,
                          sizeof(region)) == sizeof(region)) {
        try {
            RecordRegion(map, region);
        } catch (const std::bad_alloc&) {
            return;
        }
        uintptr_t next = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
        if (next <= address) {
            return;  // the last region ends at the top of the address space
        }
        address = next;
    }
}
