// One sampling pass with made-up readings: the order of the triggers, the
// log lines and the dump comments the pass produces.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "console/monitors/sampling_pass.h"

namespace {

constexpr uint64_t kSecond = 10000000;  // one processor for one second, 100 ns units
constexpr uint64_t kMiB = 1024 * 1024;

struct FakeTarget {
    std::deque<CpuSample> cpu;
    uint64_t privateBytes = 0;
    int64_t counterValue = 0;
    const void* hungWindow = nullptr;
    bool cpuFails = false;
    bool commitFails = false;
    bool counterFails = false;
    std::string calls;  // one letter per probe asked: c, m, p, h
    std::vector<std::wstring> printed;
};

bool FakeCpu(void* context, CpuSample* sample) {
    auto* target = static_cast<FakeTarget*>(context);
    target->calls += 'c';
    if (target->cpuFails || target->cpu.empty()) {
        return false;
    }
    *sample = target->cpu.front();
    target->cpu.pop_front();
    return true;
}

bool FakeCommit(void* context, uint64_t* privateBytes) {
    auto* target = static_cast<FakeTarget*>(context);
    target->calls += 'm';
    *privateBytes = target->privateBytes;
    return !target->commitFails;
}

bool FakeCounter(void* context, int64_t* value) {
    auto* target = static_cast<FakeTarget*>(context);
    target->calls += 'p';
    *value = target->counterValue;
    return !target->counterFails;
}

const void* FakeHungWindow(void* context) {
    auto* target = static_cast<FakeTarget*>(context);
    target->calls += 'h';
    return target->hungWindow;
}

void FakePrint(void* context, const wchar_t* text) {
    static_cast<FakeTarget*>(context)->printed.push_back(text);
}

// A target whose CPU share of a one-processor machine is the given percent
// in each second after the first sample.
void FeedCpuShares(FakeTarget& target, const std::vector<uint32_t>& shares) {
    CpuSample sample = {kSecond, 0};
    target.cpu.push_back(sample);
    for (uint32_t share : shares) {
        sample.systemTotal += kSecond;
        sample.processTotal += kSecond / 100 * share;
        target.cpu.push_back(sample);
    }
}

class SamplingPass : public ::testing::Test {
  protected:
    PassOutcome Pass(uint32_t second = 0) {
        const PassClock clock = {12, 34, second};
        return RunSamplingPass(settings_, state_, probes_, clock, comment_, 1024);
    }

    PassSettings settings_ = {{0, 0, 10, false, 1}, 0, 0, 0, 0, false, L"varnhold -c 50 7"};
    PassState state_ = {};
    FakeTarget target_;
    PassProbes probes_ = {&target_, FakeCpu, FakeCommit, FakeCounter, FakeHungWindow, FakePrint};
    wchar_t comment_[1024] = L"";
};

TEST_F(SamplingPass, CpuSequencePrintsCountLinesOneBelowLineAndFires) {
    settings_.cpu = {+1, 50, 3, false, 1};
    FeedCpuShares(target_, {60, 70, 40, 60, 60, 60});
    std::vector<PassOutcome> outcomes;
    for (uint32_t second = 0; second < 7; ++second) {
        outcomes.push_back(Pass(second));
    }
    const std::vector<PassOutcome> expected(6, PassOutcome::kNothing);
    EXPECT_EQ(expected, std::vector<PassOutcome>(outcomes.begin(), outcomes.end() - 1));
    EXPECT_EQ(PassOutcome::kDump, outcomes.back());
    const std::vector<std::wstring> lines = {
        L"[12:34:01] CPU:            60%    1s\n", L"[12:34:02] CPU:            70%    2s\n",
        L"[12:34:03] CPU:            40% Below\n", L"[12:34:04] CPU:            60%    1s\n",
        L"[12:34:05] CPU:            60%    2s\n", L"[12:34:06] CPU:            60%    3s\n",
    };
    EXPECT_EQ(lines, target_.printed);
    EXPECT_STREQ(L"\n*** varnhold -c 50 7\nCPU Threshold >= 50% for 3 seconds.\n", comment_);
}

TEST_F(SamplingPass, CpuAtOrBelowPrintsAboveAndItsOwnComment) {
    settings_.cpu = {-1, 10, 2, false, 1};
    FeedCpuShares(target_, {5, 30, 0, 10});
    for (uint32_t second = 0; second < 4; ++second) {
        EXPECT_EQ(PassOutcome::kNothing, Pass(second));
    }
    EXPECT_EQ(PassOutcome::kDump, Pass(4));
    const std::vector<std::wstring> lines = {
        L"[12:34:01] CPU:             5%    1s\n",
        L"[12:34:02] CPU:            30% Above\n",
        L"[12:34:03] CPU:             0%    1s\n",
        L"[12:34:04] CPU:            10%    2s\n",
    };
    EXPECT_EQ(lines, target_.printed);
    EXPECT_STREQ(L"\n*** varnhold -c 50 7\nCPU Threshold <= 10% for 2 seconds.\n", comment_);
}

TEST_F(SamplingPass, FirstPassNeverFiresTheCpuTrigger) {
    settings_.cpu = {-1, 100, 0, false, 1};
    FeedCpuShares(target_, {0});
    EXPECT_EQ(PassOutcome::kNothing, Pass());
    EXPECT_TRUE(target_.printed.empty());
    EXPECT_EQ(PassOutcome::kDump, Pass(1));
    EXPECT_STREQ(L"\n*** varnhold -c 50 7\nCPU Threshold <= 100% for 1 seconds.\n", comment_);
}

TEST_F(SamplingPass, CommitFiresOnTheFirstPassWithItsMemoryLine) {
    settings_.commitTrigger = +1;
    settings_.commitThresholdMB = 300;
    target_.privateBytes = 300 * kMiB + kMiB - 1;
    EXPECT_EQ(PassOutcome::kDump, Pass(9));
    ASSERT_EQ(1u, target_.printed.size());
    EXPECT_EQ(L"[12:34:09] Memory:       300Mb\n", target_.printed[0]);
    EXPECT_STREQ(L"\n*** varnhold -c 50 7\nCommit usage >= 300 MB.\n", comment_);
}

TEST_F(SamplingPass, CommitBelowThresholdPrintsNothing) {
    settings_.commitTrigger = +1;
    settings_.commitThresholdMB = 300;
    target_.privateBytes = 300 * kMiB - 1;
    EXPECT_EQ(PassOutcome::kNothing, Pass());
    EXPECT_TRUE(target_.printed.empty());
}

TEST_F(SamplingPass, CommitAtOrBelowHasItsOwnComment) {
    settings_.commitTrigger = -1;
    settings_.commitThresholdMB = 100;
    target_.privateBytes = 12 * kMiB;
    EXPECT_EQ(PassOutcome::kDump, Pass());
    EXPECT_STREQ(L"\n*** varnhold -c 50 7\nCommit usage <= 100 MB.\n", comment_);
}

TEST_F(SamplingPass, CounterFiresWithItsLineShowingOneSecond) {
    settings_.counterTrigger = +1;
    settings_.counterThreshold = -5;
    target_.counterValue = 42;
    EXPECT_EQ(PassOutcome::kDump, Pass(3));
    ASSERT_EQ(1u, target_.printed.size());
    EXPECT_EQ(L"[12:34:03] Counter:         42    1s\n", target_.printed[0]);
    EXPECT_STREQ(L"\n*** varnhold -c 50 7\nPerformance counter >= -5.\n", comment_);
}

TEST_F(SamplingPass, CounterComparesSigned64Bit) {
    settings_.counterTrigger = -1;
    settings_.counterThreshold = 5000000000LL;
    target_.counterValue = -1;
    EXPECT_EQ(PassOutcome::kDump, Pass());
    EXPECT_STREQ(L"\n*** varnhold -c 50 7\nPerformance counter <= 5000000000.\n", comment_);
}

TEST_F(SamplingPass, HungWindowFiresWithoutALogLine) {
    settings_.hungWindow = true;
    target_.hungWindow = reinterpret_cast<const void*>(0x1234);
    EXPECT_EQ(PassOutcome::kDump, Pass());
    EXPECT_TRUE(target_.printed.empty());
    wchar_t expected[128];
    swprintf(expected, 128, L"\n***varnhold -c 50 7\nHung window detected: %p .\n",
             reinterpret_cast<void*>(0x1234));
    EXPECT_STREQ(expected, comment_);
}

TEST_F(SamplingPass, NoHungWindowNoDump) {
    settings_.hungWindow = true;
    EXPECT_EQ(PassOutcome::kNothing, Pass());
}

// Several triggers met in the same pass: the first in the order CPU, commit,
// counter, hung window fires and the rest is not even sampled.
struct OrderCase {
    bool cpuMet;
    bool commitMet;
    bool counterMet;
    bool hungMet;
    const char* expectedCalls;  // second pass only
    const wchar_t* reasonStart;
};

class TriggerOrder : public SamplingPass, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(TriggerOrder, OnlyTheFirstMetTriggerFires) {
    const OrderCase& c = GetParam();
    settings_.cpu = {+1, 50, 1, false, 1};
    settings_.commitTrigger = +1;
    settings_.commitThresholdMB = 10;
    settings_.counterTrigger = +1;
    settings_.counterThreshold = 100;
    settings_.hungWindow = true;
    FeedCpuShares(target_, {c.cpuMet ? 90u : 10u});
    target_.privateBytes = (c.commitMet ? 20 : 5) * kMiB;
    target_.counterValue = c.counterMet ? 200 : 50;
    target_.hungWindow = c.hungMet ? reinterpret_cast<const void*>(0x10) : nullptr;
    // The first pass never has a CPU value; make it fire nothing.
    const uint64_t privateBytes = target_.privateBytes;
    const int64_t counterValue = target_.counterValue;
    const void* hungWindow = target_.hungWindow;
    target_.privateBytes = 0;
    target_.counterValue = 0;
    target_.hungWindow = nullptr;
    ASSERT_EQ(PassOutcome::kNothing, Pass());
    EXPECT_EQ("cmph", target_.calls);

    target_.calls.clear();
    target_.privateBytes = privateBytes;
    target_.counterValue = counterValue;
    target_.hungWindow = hungWindow;
    const bool any = c.cpuMet || c.commitMet || c.counterMet || c.hungMet;
    EXPECT_EQ(any ? PassOutcome::kDump : PassOutcome::kNothing, Pass(1));
    EXPECT_EQ(c.expectedCalls, target_.calls);
    if (any) {
        EXPECT_NE(nullptr, wcsstr(comment_, c.reasonStart)) << comment_;
    }
}

INSTANTIATE_TEST_SUITE_P(
    SeveralMet, TriggerOrder,
    ::testing::Values(OrderCase{true, true, true, true, "c", L"\nCPU Threshold"},
                      OrderCase{false, true, true, true, "cm", L"\nCommit usage"},
                      OrderCase{false, false, true, true, "cmp", L"\nPerformance counter"},
                      OrderCase{false, false, false, true, "cmph", L"\nHung window"},
                      OrderCase{true, false, false, true, "c", L"\nCPU Threshold"},
                      OrderCase{false, true, false, true, "cm", L"\nCommit usage"},
                      OrderCase{false, false, false, false, "cmph", L""}));

TEST_F(SamplingPass, FailedQueryEndsThePassBeforeLaterTriggers) {
    settings_.cpu = {+1, 50, 1, false, 1};
    settings_.commitTrigger = +1;
    settings_.hungWindow = true;
    target_.cpuFails = true;
    EXPECT_EQ(PassOutcome::kFailed, Pass());
    EXPECT_EQ("c", target_.calls);
}

TEST_F(SamplingPass, FailedCommitOrCounterQueryFailsThePass) {
    settings_.commitTrigger = +1;
    target_.commitFails = true;
    EXPECT_EQ(PassOutcome::kFailed, Pass());
    settings_.commitTrigger = 0;
    settings_.counterTrigger = -1;
    target_.counterFails = true;
    EXPECT_EQ(PassOutcome::kFailed, Pass());
    EXPECT_EQ("mp", target_.calls);
}

TEST_F(SamplingPass, DisabledTriggersAreNotSampled) {
    EXPECT_EQ(PassOutcome::kNothing, Pass());
    EXPECT_EQ("", target_.calls);
}

TEST(TriggerComparison, SignDecidesTheDirectionAndEqualityMeets) {
    struct Case {
        int32_t trigger;
        uint32_t value;
        uint32_t threshold;
        bool meets;
    };
    const Case cases[] = {
        {+1, 300, 300, true}, {+1, 299, 300, false}, {+1, 301, 300, true},
        {-1, 300, 300, true}, {-1, 301, 300, false}, {-1, 0, 300, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.meets, CommitMeets(c.trigger, c.value, c.threshold))
            << c.trigger << " " << c.value;
        EXPECT_EQ(c.meets, CounterMeets(c.trigger, c.value, c.threshold))
            << c.trigger << " " << c.value;
    }
    EXPECT_TRUE(CounterMeets(-1, -7, -3));
    EXPECT_FALSE(CounterMeets(+1, -7, -3));
}

TEST(TriggerComparison, CommitIsWholeMebibytesRoundedDown) {
    EXPECT_EQ(0u, CommitInMB(kMiB - 1));
    EXPECT_EQ(1u, CommitInMB(kMiB));
    EXPECT_EQ(4096u, CommitInMB(4096 * kMiB + 12345));
}

}  // namespace
