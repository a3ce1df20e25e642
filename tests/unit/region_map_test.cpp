// The MiniPlus region rule over plain region records, and the hand-out of one
// entry with the limit and page rounding.
#include <gtest/gtest.h>

#include <cstdint>

#include "console/dumpwriter/region_map.h"

namespace {

constexpr uint32_t kPage = 0x1000;
constexpr uint64_t kBase = 0x10000000;

RegionRecord Region(uint64_t baseAddress, uint64_t allocationBase, uint64_t size, uint32_t state,
                    uint32_t type, uint32_t protect) {
    return RegionRecord{baseAddress, allocationBase, size, state, type, protect};
}

struct RuleCase {
    const char* what;
    RegionRecord region;
    bool recorded;
    uint64_t extent;
};

TEST(RegionScan, EachKindOfRegionIsRecordedOrLeftOut) {
    const RuleCase cases[] = {
        {"private read-write",
         Region(kBase, kBase, 0x4000, MEM_COMMIT, MEM_PRIVATE, PAGE_READWRITE), true, 0x4000},
        {"private read-only", Region(kBase, kBase, 0x2000, MEM_COMMIT, MEM_PRIVATE, PAGE_READONLY),
         true, 0x2000},
        {"private guard page",
         Region(kBase, kBase, kPage, MEM_COMMIT, MEM_PRIVATE, PAGE_READWRITE | PAGE_GUARD), true,
         kPage},
        {"read-write image view, second region",
         Region(kBase + 0x3000, kBase, 0x1000, MEM_COMMIT, MEM_IMAGE, PAGE_READWRITE), true,
         0x4000},
        {"execute-read-write mapped view",
         Region(kBase, kBase, 0x8000, MEM_COMMIT, MEM_MAPPED, PAGE_EXECUTE_READWRITE), true,
         0x8000},
        {"read-only image", Region(kBase, kBase, 0x1000, MEM_COMMIT, MEM_IMAGE, PAGE_READONLY),
         false, 0},
        {"executable image code",
         Region(kBase + 0x1000, kBase, 0x9000, MEM_COMMIT, MEM_IMAGE, PAGE_EXECUTE_READ), false, 0},
        {"mapped read-write guard page",
         Region(kBase, kBase, kPage, MEM_COMMIT, MEM_MAPPED, PAGE_READWRITE | PAGE_GUARD), false,
         0},
        {"reserved private", Region(kBase, kBase, 0x10000, MEM_RESERVE, MEM_PRIVATE, 0), false, 0},
        {"free", Region(kBase, 0, 0x10000, MEM_FREE, 0, PAGE_NOACCESS), false, 0},
    };
    for (const RuleCase& c : cases) {
        SCOPED_TRACE(c.what);
        RegionMap map;
        RecordRegion(map, c.region);
        ASSERT_EQ(c.recorded ? 1u : 0u, map.size());
        if (c.recorded) {
            EXPECT_EQ(RegionKey(kBase), map.begin()->first);
            EXPECT_EQ(c.extent, map.begin()->second);
        }
    }
}

TEST(RegionScan, ReservedGapInsideAnAllocationIsCoveredByOneRange) {
    const RegionRecord regions[] = {
        Region(kBase, kBase, 0x10000, MEM_COMMIT, MEM_PRIVATE, PAGE_READWRITE),
        Region(kBase + 0x10000, kBase, 0xF0000, MEM_RESERVE, MEM_PRIVATE, 0),
        Region(kBase + 0x100000, kBase, 0x10000, MEM_COMMIT, MEM_PRIVATE, PAGE_READWRITE),
        // A nearer region seen later does not shrink the entry.
        Region(kBase, kBase, 0x10000, MEM_COMMIT, MEM_PRIVATE, PAGE_READWRITE),
    };
    RegionMap map;
    for (const RegionRecord& region : regions) {
        RecordRegion(map, region);
    }
    ASSERT_EQ(1u, map.size());
    EXPECT_EQ(0x110000u, map.at(RegionKey(kBase)));

    bool handOut = false;
    MemoryRange range = {};
    ASSERT_TRUE(TakeRegion(map, kPage, &handOut, &range));
    EXPECT_TRUE(handOut);
    EXPECT_EQ(RegionKey(kBase), range.base);
    EXPECT_EQ(0x110000u, range.size);
    EXPECT_TRUE(map.empty());
}

TEST(RegionScan, AllocationOf4GiBOrMoreKeepsItsWholeExtentAndIsLeftOut) {
    // Counted modulo 2^32 this extent would be 0x1000 and handed out as a
    // single page of a huge allocation.
    RegionMap map;
    RecordRegion(
        map, Region(kBase + 0x100000000, kBase, kPage, MEM_COMMIT, MEM_PRIVATE, PAGE_READWRITE));
    ASSERT_EQ(1u, map.size());
    EXPECT_EQ(0x100001000u, map.begin()->second);
    bool handOut = true;
    MemoryRange range = {0x1234, 0x5678};
    ASSERT_TRUE(TakeRegion(map, kPage, &handOut, &range));
    EXPECT_FALSE(handOut);
    EXPECT_EQ(0x1234u, range.base);
    EXPECT_EQ(0x5678u, range.size);
    EXPECT_TRUE(map.empty());
}

TEST(RegionScan, MemoryBasicInformationGivesTheSameEntry) {
    MEMORY_BASIC_INFORMATION info = {};
    info.AllocationBase = reinterpret_cast<void*>(static_cast<uintptr_t>(kBase));
    info.BaseAddress = reinterpret_cast<void*>(static_cast<uintptr_t>(kBase + 0x2000));
    info.RegionSize = 0x3000;
    info.State = MEM_COMMIT;
    info.Type = MEM_IMAGE;
    info.Protect = PAGE_READWRITE;
    RegionMap map;
    RecordRegion(map, info);
    ASSERT_EQ(1u, map.size());
    EXPECT_EQ(RegionKey(kBase), map.begin()->first);
    EXPECT_EQ(0x5000u, map.begin()->second);
}

TEST(RegionScan, OnlyTheKeyIsSignExtendedInThe32BitBuild) {
    RegionMap map;
    RecordRegion(map,
                 Region(0x80010000, 0x80000000, 0x10000, MEM_COMMIT, MEM_PRIVATE, PAGE_READWRITE));
    ASSERT_EQ(1u, map.size());
#if defined(_WIN64)
    EXPECT_EQ(0x80000000u, map.begin()->first);
#else
    EXPECT_EQ(0xFFFFFFFF80000000u, map.begin()->first);
#endif
    EXPECT_EQ(0x20000u, map.begin()->second);
}

struct HandOutCase {
    uint64_t extent;
    bool handOut;
    uint32_t size;
};

TEST(RegionHandOut, LimitAndPageRounding) {
    const HandOutCase cases[] = {
        {1, true, kPage},
        {0x1001, true, 0x2000},
        {0x6400000, true, 0x6400000},    // 100 MiB
        {0x1FFFF000, true, 0x1FFFF000},  // one page below the limit
        {0x1FFFF001, true, 0x20000000},  // below the limit, rounded up to it
        {0x20000000, false, 0},          // the limit itself
        {0x25800000, false, 0},          // 600 MiB
        {0x100001000, false, 0},         // over 4 GiB
    };
    for (const HandOutCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "extent 0x" << c.extent);
        RegionMap map;
        map.emplace(kBase, c.extent);
        bool handOut = !c.handOut;
        MemoryRange range = {};
        ASSERT_TRUE(TakeRegion(map, kPage, &handOut, &range));
        EXPECT_EQ(c.handOut, handOut);
        if (c.handOut) {
            EXPECT_EQ(kBase, range.base);
            EXPECT_EQ(c.size, range.size);
        }
        EXPECT_TRUE(map.empty());
        EXPECT_FALSE(TakeRegion(map, kPage, &handOut, &range));
    }
}

TEST(RegionHandOut, EveryEntryComesOutOnceWhateverTheOrder) {
    RegionMap map;
    for (uint64_t i = 0; i < 50; ++i) {
        map.emplace(kBase + i * 0x100000, 0x1001 + i);
    }
    map.emplace(kBase + 0x40000000, 0x30000000);
    int handedOut = 0;
    int calls = 0;
    RegionMap seen;
    bool handOut = false;
    MemoryRange range = {};
    while (TakeRegion(map, kPage, &handOut, &range)) {
        ++calls;
        if (handOut) {
            ++handedOut;
            EXPECT_TRUE(seen.emplace(range.base, range.size).second);
            EXPECT_EQ(0x2000u, range.size);
        }
    }
    EXPECT_EQ(51, calls);
    EXPECT_EQ(50, handedOut);
}

}  // namespace
