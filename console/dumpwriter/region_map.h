// The memory a MiniPlus dump adds: one entry per allocation of the target
// that holds writable or private committed memory, filled by one scan of the
// address space and handed to the debug-help library one entry per memory
// callback.
#pragma once

#include <windows.h>

#include <cstdint>
#include <unordered_map>

// Allocations whose extent reaches this many bytes are left out of the dump.
constexpr uint64_t kMiniPlusLimit = 0x20000000;

// Key: allocation base as a 64-bit address (sign-extended in the 32-bit
// build, the way the debug-help library widens 32-bit addresses). Value: the
// extent from the allocation base to the end of its furthest qualifying
// region. The extent is kept in 64 bits so that an allocation of 4 GiB or
// more cannot wrap to a small value and be handed out as a partial range.
using RegionMap = std::unordered_map<uint64_t, uint64_t>;

// The key for an allocation base of the dumped process: the address itself
// in the 64-bit build, its low 32 bits widened with sign extension in the
// 32-bit build.
uint64_t RegionKey(uint64_t allocationBase);

// Committed memory that is private (any protection), or exactly read-write or
// execute-read-write (mapped file and image views). The protection comparison
// is exact: a modifier bit such as PAGE_GUARD prevents the match.
bool RegionQualifies(uint32_t state, uint32_t type, uint32_t protect);

// Distance from the allocation base to the end of the region, computed in
// 64-bit arithmetic.
uint64_t AllocationExtent(uint64_t baseAddress, uint64_t allocationBase, uint64_t regionSize);

// One region as the address-space query describes it, with plain (not
// sign-extended) addresses.
struct RegionRecord {
    uint64_t baseAddress;
    uint64_t allocationBase;
    uint64_t regionSize;
    uint32_t state;
    uint32_t type;
    uint32_t protect;
};

RegionRecord ToRegionRecord(const MEMORY_BASIC_INFORMATION& region);

// Records the region under its allocation base when it qualifies, keeping the
// largest extent seen per base. May throw std::bad_alloc when the map cannot
// grow.
void RecordRegion(RegionMap& map, const RegionRecord& region);
void RecordRegion(RegionMap& map, const MEMORY_BASIC_INFORMATION& region);

struct MemoryRange {
    uint64_t base;
    uint32_t size;
};

// Takes one entry out of the map. Returns false when the map is empty.
// Otherwise *handOut tells whether the entry is to be added to the dump
// (extent below the limit) and *range holds its base and its extent rounded
// up to whole pages. An entry at or above the limit is removed all the same.
bool TakeRegion(RegionMap& map, uint32_t pageSize, bool* handOut, MemoryRange* range);

// Walks the address space of the process from address 0 and records every
// qualifying region. Ends at the first query that does not return a whole
// record (end of the address space, or a failure), and keeps what was
// gathered when the map cannot grow.
void ScanRegions(HANDLE process, RegionMap& map);
