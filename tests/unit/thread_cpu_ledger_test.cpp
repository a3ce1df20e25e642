// The CPU time of a process summed from its threads' samples.
#include <gtest/gtest.h>

#include <vector>

#include "console/monitors/thread_cpu_ledger.h"

namespace {

struct LedgerCase {
    const char* what;
    std::vector<std::vector<ThreadTimeReading>> samples;  // {id, creation, cpu}
    std::vector<uint64_t> totals;                         // after each sample
};

// Sample i is taken at (i + 1) * 1000.
uint64_t SampleTime(size_t index) {
    return (index + 1) * 1000;
}

TEST(ThreadCpuLedger, AddsEachThreadsGrowthBetweenSamplesInWhichItExists) {
    const std::vector<LedgerCase> cases = {
        {"first sample is only the starting point", {{{1, 5, 700}, {2, 5, 300}}}, {0}},
        {"growth of every thread adds up",
         {{{1, 5, 100}, {2, 5, 100}}, {{1, 5, 150}, {2, 5, 400}}, {{2, 5, 500}, {1, 5, 150}}},
         {0, 350, 450}},
        {"a new thread adds from its first sample on",
         {{{1, 5, 100}}, {{1, 5, 200}, {9, 80, 5000}}, {{1, 5, 200}, {9, 80, 5600}}},
         {0, 100, 700}},
        {"a thread created since the last sample adds all of its time",
         {{{1, 5, 100}}, {{1, 5, 200}, {9, 1500, 5000}}, {{1, 5, 200}, {9, 1500, 5600}}},
         {0, 5100, 5700}},
        {"an ended thread adds nothing for the interval it ended in",
         {{{1, 5, 100}, {2, 5, 100}}, {{1, 5, 300}}, {{1, 5, 300}}},
         {0, 200, 200}},
        {"a reused identifier is a new thread",
         {{{4, 5, 100}}, {{4, 90, 3000}}, {{4, 90, 3100}}},
         {0, 0, 100}},
        {"a thread that comes back after a missed sample starts again",
         {{{1, 5, 100}, {2, 5, 100}}, {{1, 5, 200}}, {{1, 5, 300}, {2, 5, 900}}, {{2, 5, 950}}},
         {0, 100, 200, 250}},
        {"a reading that goes back never shrinks the total",
         {{{1, 5, 500}}, {{1, 5, 400}}, {{1, 5, 450}}},
         {0, 0, 50}},
        {"no threads at all", {{}, {}}, {0, 0}},
    };
    for (const LedgerCase& c : cases) {
        SCOPED_TRACE(c.what);
        ThreadCpuLedger ledger;
        for (size_t i = 0; i < c.samples.size(); ++i) {
            std::vector<ThreadTimeReading> readings = c.samples[i];
            EXPECT_EQ(c.totals[i], AddThreadSample(ledger, readings, SampleTime(i)))
                << "sample " << i;
            EXPECT_TRUE(readings.empty());
        }
    }
}

TEST(ThreadCpuLedger, FiftyThreadsOverManySamplesSumExactly) {
    ThreadCpuLedger ledger;
    std::vector<ThreadTimeReading> readings;
    uint64_t total = 0;
    for (uint64_t sample = 0; sample < 20; ++sample) {
        for (uint32_t id = 50; id > 0; --id) {
            readings.push_back({id * 4, 1000 + id, sample * id});
        }
        total = AddThreadSample(ledger, readings, SampleTime(sample));
    }
    EXPECT_EQ(19u * (50u * 51u / 2u), total);
}

}  // namespace
