// The CPU share of the target and the consecutive-seconds count of the CPU
// trigger, computed from raw time samples. Kept free of system calls so that
// the exact code the sampling thread runs can be fed made-up samples: the
// platform we test on reports no CPU time for another process.
#pragma once

#include <cstdint>

// One sample, in units of 100 ns: the kernel plus user time of all
// processors together (their kernel time includes idle time, so this is the
// elapsed time of the whole machine), and the kernel plus user time of the
// target process.
struct CpuSample {
    uint64_t systemTotal;
    uint64_t processTotal;
};

// The previous sample; both zero before the first one.
struct CpuHistory {
    uint64_t systemTotal;
    uint64_t processTotal;
};

struct CpuTriggerSettings {
    int32_t trigger;  // +1 at or above, -1 at or below
    uint32_t threshold;
    uint32_t thresholdSeconds;
    bool singleCore;  // scale to percent of one processor
    uint32_t processorCount;
};

// What a sample means for the log and the trigger.
enum class CpuLine {
    kNone,   // nothing to print
    kCount,  // a qualifying sample: value and consecutive count
    kReset,  // the first non-qualifying sample after a run of qualifying ones
};

struct CpuStep {
    bool hasValue;   // false for the first sample and for a zero divisor
    uint32_t value;  // percent of the machine, or of one processor
    CpuLine line;
    uint32_t count;  // the consecutive count after this sample
    bool fires;
};

// The share in percent between the previous sample and this one, then stores
// this sample as the previous one. No value when there is no previous sample,
// or when the machine's time moved by less than 100 units (a divisor of 0).
bool ComputeCpuShare(CpuHistory& previous, const CpuSample& current, bool singleCore,
                     uint32_t processorCount, uint32_t* share);

// Runs one sample through the share computation and the consecutive count.
CpuStep StepCpuTrigger(const CpuTriggerSettings& settings, CpuHistory& previous,
                       uint32_t& consecutive, const CpuSample& current);
