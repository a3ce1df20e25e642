// DumpCallback called the way the debug-help library calls it during a
// MiniPlus write, against a real test target. Wine's MiniDumpWriteDump never
// asks for memory, so the hand-out is driven here by hand.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "common/process_wide.h"
#include "console/dumpwriter/dump_callback.h"
#include "console/dumpwriter/region_map.h"
#include "tests/unit/process_test_support.h"

namespace {

struct Allocation {
    uint64_t base;
    uint64_t size;
};

std::vector<Allocation> ReportedAllocations(const std::vector<std::string>& lines) {
    std::vector<Allocation> found;
    for (const std::string& line : lines) {
        unsigned long long base = 0;
        unsigned long long size = 0;
        if (sscanf(line.c_str(), "alloc %I64x %I64x", &base, &size) == 2) {
            found.push_back({base, size});
        }
    }
    return found;
}

MINIDUMP_CALLBACK_INPUT Input(const process_test::TargetProcess& target, ULONG type) {
    MINIDUMP_CALLBACK_INPUT input = {};
    input.ProcessId = target.pid();
    input.ProcessHandle = target.process();
    input.CallbackType = type;
    return input;
}

class MiniPlusHandOut : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        g_processWide.pageSize = info.dwPageSize;
        target_ = new process_test::TargetProcess;
        started_ = target_->Start(L"rw:64 rw:600 sleep:600000", "step sleep:");
    }
    static void TearDownTestSuite() {
        delete target_;
        target_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(started_) << "vh_target did not start from "
                              << testing::PrintToString(
                                     process_test::FixturePath(L"vh_target.exe"));
        allocations_ = ReportedAllocations(target_->lines());
        ASSERT_EQ(2u, allocations_.size()) << "the target could not allocate";
    }

    static process_test::TargetProcess* target_;
    static bool started_;
    std::vector<Allocation> allocations_;
};

process_test::TargetProcess* MiniPlusHandOut::target_ = nullptr;
bool MiniPlusHandOut::started_ = false;

TEST_F(MiniPlusHandOut, RangesCoverThe64MiBAllocationAndNeverThe600MiBOne) {
    const Allocation small = allocations_[0];
    const Allocation large = allocations_[1];
    ASSERT_EQ(64u << 20, small.size);
    ASSERT_EQ(600u << 20, large.size);

    RegionMap map;
    DumpCallbackContext context = {&map, 1, nullptr};
    MINIDUMP_CALLBACK_INPUT thread = Input(*target_, ThreadCallback);
    MINIDUMP_CALLBACK_OUTPUT output = {};
    ASSERT_EQ(TRUE, DumpCallback(&context, &thread, &output));
    const size_t entries = map.size();
    ASSERT_GT(entries, 2u);
    EXPECT_EQ(large.size, map.at(RegionKey(large.base)));
    // Later thread callbacks find the map filled and leave it alone.
    ASSERT_EQ(TRUE, DumpCallback(&context, &thread, &output));
    EXPECT_EQ(entries, map.size());

    MINIDUMP_CALLBACK_INPUT memory = Input(*target_, MemoryCallback);
    std::vector<MemoryRange> ranges;
    size_t calls = 0;
    for (; calls < entries + 1; ++calls) {
        output = {};
        const size_t before = map.size();
        ASSERT_EQ(TRUE, DumpCallback(&context, &memory, &output));
        if (before == 0) {
            break;
        }
        EXPECT_EQ(before - 1, map.size()) << "one entry per call";
        if (output.MemorySize != 0) {
            ranges.push_back({output.MemoryBase, output.MemorySize});
        }
    }
    EXPECT_EQ(entries, calls);
    // The call after the last entry leaves the output as it was handed in.
    EXPECT_EQ(0u, output.MemoryBase);
    EXPECT_EQ(0u, output.MemorySize);

    bool smallCovered = false;
    for (const MemoryRange& range : ranges) {
        EXPECT_EQ(0u, range.size % g_processWide.pageSize) << "not rounded to pages";
        EXPECT_LT(range.size, 0x20000000u);
        EXPECT_FALSE(range.base <= RegionKey(large.base) &&
                     RegionKey(large.base) < range.base + range.size)
            << "the 600 MiB allocation was handed out";
        if (range.base == RegionKey(small.base)) {
            EXPECT_EQ(small.size, range.size);
            smallCovered = true;
        }
    }
    EXPECT_TRUE(smallCovered);
    EXPECT_EQ(entries - 1, ranges.size()) << "only the 600 MiB entry is left out";
}

TEST_F(MiniPlusHandOut, WithoutMiniPlusOnlyReadFailuresAreAnswered) {
    RegionMap map;
    for (uint32_t miniPlus : {0u, 1u}) {
        SCOPED_TRACE(miniPlus);
        DumpCallbackContext context = {&map, miniPlus, nullptr};
        MINIDUMP_CALLBACK_INPUT failure = Input(*target_, ReadMemoryFailureCallback);
        MINIDUMP_CALLBACK_OUTPUT output = {};
        SetCallbackStatus(&output, E_FAIL);
        EXPECT_EQ(TRUE, DumpCallback(&context, &failure, &output));
        EXPECT_EQ(S_OK, CallbackStatus(&output));
    }

    DumpCallbackContext plain = {&map, 0, nullptr};
    for (ULONG type : {ThreadCallback, MemoryCallback, ModuleCallback}) {
        MINIDUMP_CALLBACK_INPUT input = Input(*target_, type);
        MINIDUMP_CALLBACK_OUTPUT output = {};
        output.MemoryBase = 0x1234;
        output.MemorySize = 0x10;
        EXPECT_EQ(TRUE, DumpCallback(&plain, &input, &output));
        EXPECT_EQ(0x1234u, output.MemoryBase);
        EXPECT_EQ(0x10u, output.MemorySize);
    }
    EXPECT_TRUE(map.empty());
}

}  // namespace
