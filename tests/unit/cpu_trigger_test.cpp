// The CPU share and the consecutive-seconds count, fed with made-up samples
// through the code the sampling thread runs (the platform we test on reports
// no CPU time for another process, so real load cannot drive it).
#include <gtest/gtest.h>

#include <vector>

#include "console/monitors/cpu_share.h"

namespace {

constexpr uint64_t kSecondOfOneProcessor = 10000000;  // 100 ns units

// Samples one second apart on a machine with `processors` processors where
// the process used the given percent of the whole machine in each second.
std::vector<CpuSample> SamplesWithShares(const std::vector<uint32_t>& shares, uint32_t processors) {
    std::vector<CpuSample> samples;
    CpuSample sample = {5000000, 100000};  // arbitrary nonzero start
    samples.push_back(sample);
    for (uint32_t share : shares) {
        const uint64_t elapsed = kSecondOfOneProcessor * processors;
        sample.systemTotal += elapsed;
        sample.processTotal += elapsed / 100 * share;
        samples.push_back(sample);
    }
    return samples;
}

std::vector<CpuStep> RunSamples(const CpuTriggerSettings& settings,
                                const std::vector<CpuSample>& samples,
                                uint32_t* finalCount = nullptr) {
    CpuHistory previous = {};
    uint32_t consecutive = 0;
    std::vector<CpuStep> steps;
    for (const CpuSample& sample : samples) {
        steps.push_back(StepCpuTrigger(settings, previous, consecutive, sample));
        if (steps.back().fires) {
            break;
        }
    }
    if (finalCount != nullptr) {
        *finalCount = consecutive;
    }
    return steps;
}

TEST(CpuShare, FirstSampleYieldsNoValue) {
    CpuHistory previous = {};
    uint32_t share = 12345;
    EXPECT_FALSE(ComputeCpuShare(previous, {1000, 10}, false, 4, &share));
    EXPECT_EQ(12345u, share);
    EXPECT_EQ(1000u, previous.systemTotal);
    EXPECT_EQ(10u, previous.processTotal);
}

TEST(CpuShare, IsTheProcessShareOfTheWholeMachine) {
    CpuHistory previous = {1000000, 0};
    uint32_t share = 0;
    // 4 processors for one second; the process used one of them fully.
    ASSERT_TRUE(ComputeCpuShare(
        previous, {1000000 + 4 * kSecondOfOneProcessor, kSecondOfOneProcessor}, false, 4, &share));
    EXPECT_EQ(25u, share);
}

TEST(CpuShare, SingleCoreScalesToOneProcessor) {
    CpuHistory previous = {1000000, 0};
    uint32_t share = 0;
    ASSERT_TRUE(ComputeCpuShare(
        previous, {1000000 + 4 * kSecondOfOneProcessor, kSecondOfOneProcessor}, true, 4, &share));
    EXPECT_EQ(100u, share);
}

TEST(CpuShare, DivisionsTruncate) {
    // Divisor 1999 / 100 = 19; 100 / 19 = 5 (5.26 truncated).
    CpuHistory previous = {1, 0};
    uint32_t share = 0;
    ASSERT_TRUE(ComputeCpuShare(previous, {2000, 100}, false, 1, &share));
    EXPECT_EQ(5u, share);
}

TEST(CpuShare, ZeroDivisorYieldsNoValueAndKeepsTheSample) {
    CpuHistory previous = {1000, 5};
    uint32_t share = 777;
    EXPECT_FALSE(ComputeCpuShare(previous, {1099, 50}, false, 1, &share));
    EXPECT_EQ(777u, share);
    EXPECT_EQ(1099u, previous.systemTotal);
    EXPECT_EQ(50u, previous.processTotal);
}

TEST(CpuTrigger, CountsResetsAndFiresAtTheThresholdSeconds) {
    const CpuTriggerSettings settings = {+1, 50, 3, false, 1};
    const std::vector<CpuStep> steps =
        RunSamples(settings, SamplesWithShares({60, 70, 40, 60, 60, 60}, 1));
    ASSERT_EQ(7u, steps.size());
    EXPECT_FALSE(steps[0].hasValue);
    EXPECT_EQ(CpuLine::kNone, steps[0].line);
    struct Expected {
        uint32_t value;
        CpuLine line;
        uint32_t count;
        bool fires;
    };
    const Expected expected[] = {
        {60, CpuLine::kCount, 1, false}, {70, CpuLine::kCount, 2, false},
        {40, CpuLine::kReset, 0, false}, {60, CpuLine::kCount, 1, false},
        {60, CpuLine::kCount, 2, false}, {60, CpuLine::kCount, 3, true},
    };
    for (size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(steps[i + 1].hasValue);
        EXPECT_EQ(expected[i].value, steps[i + 1].value);
        EXPECT_EQ(expected[i].line, steps[i + 1].line);
        EXPECT_EQ(expected[i].count, steps[i + 1].count);
        EXPECT_EQ(expected[i].fires, steps[i + 1].fires);
    }
}

TEST(CpuTrigger, StretchOfNonQualifyingSamplesResetsOnlyOnce) {
    const CpuTriggerSettings settings = {+1, 50, 10, false, 1};
    const std::vector<CpuStep> steps = RunSamples(settings, SamplesWithShares({60, 10, 10, 10}, 1));
    ASSERT_EQ(5u, steps.size());
    EXPECT_EQ(CpuLine::kCount, steps[1].line);
    EXPECT_EQ(CpuLine::kReset, steps[2].line);
    EXPECT_EQ(CpuLine::kNone, steps[3].line);
    EXPECT_EQ(CpuLine::kNone, steps[4].line);
}

TEST(CpuTrigger, NonQualifyingSamplesBeforeAnyCountPrintNothing) {
    const CpuTriggerSettings settings = {+1, 50, 10, false, 1};
    for (const CpuStep& step : RunSamples(settings, SamplesWithShares({10, 20, 49}, 1))) {
        EXPECT_EQ(CpuLine::kNone, step.line);
        EXPECT_FALSE(step.fires);
    }
}

TEST(CpuTrigger, ZeroThresholdSecondsFiresAtTheFirstQualifyingSample) {
    const CpuTriggerSettings settings = {+1, 50, 0, false, 1};
    const std::vector<CpuStep> steps = RunSamples(settings, SamplesWithShares({10, 80, 90}, 1));
    ASSERT_EQ(3u, steps.size());
    EXPECT_FALSE(steps[0].fires);  // the first sample never counts
    EXPECT_FALSE(steps[1].fires);  // 10 does not qualify
    EXPECT_TRUE(steps[2].fires);
    EXPECT_EQ(1u, steps[2].count);
}

TEST(CpuTrigger, FirstSampleNeverCountsEvenWithZeroThresholdSeconds) {
    const CpuTriggerSettings settings = {-1, 100, 0, false, 1};
    uint32_t count = 99;
    const std::vector<CpuStep> steps = RunSamples(settings, {{1000, 0}}, &count);
    ASSERT_EQ(1u, steps.size());
    EXPECT_FALSE(steps[0].fires);
    EXPECT_EQ(0u, count);
}

TEST(CpuTrigger, AtOrBelowCountsLowSamplesAndResetsOnHighOnes) {
    const CpuTriggerSettings settings = {-1, 20, 3, false, 1};
    const std::vector<CpuStep> steps =
        RunSamples(settings, SamplesWithShares({20, 21, 0, 5, 20}, 1));
    ASSERT_EQ(6u, steps.size());
    EXPECT_EQ(CpuLine::kCount, steps[1].line);  // equal qualifies
    EXPECT_EQ(CpuLine::kReset, steps[2].line);
    EXPECT_EQ(3u, steps[5].count);
    EXPECT_TRUE(steps[5].fires);
}

TEST(CpuTrigger, SingleCoreOnOneBusyProcessorOfFourReadsAbout100) {
    const CpuTriggerSettings scaled = {+1, 90, 1, true, 4};
    const std::vector<CpuStep> steps = RunSamples(scaled, SamplesWithShares({25}, 4));
    ASSERT_EQ(2u, steps.size());
    EXPECT_EQ(100u, steps[1].value);
    EXPECT_TRUE(steps[1].fires);

    const CpuTriggerSettings unscaled = {+1, 90, 1, false, 4};
    const std::vector<CpuStep> plain = RunSamples(unscaled, SamplesWithShares({25}, 4));
    EXPECT_EQ(25u, plain[1].value);
    EXPECT_FALSE(plain[1].fires);
}

TEST(CpuTrigger, ZeroDivisorPassLeavesTheCountAlone) {
    const CpuTriggerSettings settings = {+1, 50, 3, false, 1};
    CpuHistory previous = {1000, 0};
    uint32_t consecutive = 2;
    const CpuStep step = StepCpuTrigger(settings, previous, consecutive, {1050, 10});
    EXPECT_FALSE(step.hasValue);
    EXPECT_EQ(CpuLine::kNone, step.line);
    EXPECT_FALSE(step.fires);
    EXPECT_EQ(2u, consecutive);
}

}  // namespace
