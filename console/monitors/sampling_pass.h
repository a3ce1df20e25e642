// One sampling pass of the counter thread: the triggers in their fixed order
// (CPU, commit, performance counter, hung window), the first one met ending
// the pass. The readings come through a table of probe functions, so the
// thread runs this with the real system queries and a test with made-up
// readings.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/dumpwriter/dump_metadata.h"
#include "console/monitors/cpu_share.h"
#include "console/monitors/monitor_texts.h"

// Each probe returns false when its query failed; it has then printed the
// failure report itself.
struct PassProbes {
    void* context;
    bool (*sampleCpu)(void* context, CpuSample* sample);
    bool (*sampleCommit)(void* context, uint64_t* privateBytes);
    bool (*sampleCounter)(void* context, int64_t* value);
    // Returns the visible hung window of the target, or null.
    const void* (*findHungWindow)(void* context);
    void (*print)(void* context, const wchar_t* text);
};

struct PassSettings {
    CpuTriggerSettings cpu;
    int32_t commitTrigger;
    uint32_t commitThresholdMB;
    int32_t counterTrigger;
    int64_t counterThreshold;
    bool hungWindow;
    const wchar_t* commandLine;
};

// What the thread keeps between passes.
struct PassState {
    CpuHistory previousCpu;  // the last CPU sample, none before the first
    uint32_t consecutive;
    MetadataTrigger fired;   // after kDump: what fired, and the value seen
    const void* hungWindow;  // after kDump of the hung-window trigger: the window
};

enum class PassOutcome {
    kNothing,  // no trigger met: wait for the next pass
    kDump,     // a trigger fired: the comment is formatted
    kFailed,   // a query failed and was reported
};

PassOutcome RunSamplingPass(const PassSettings& settings, PassState& state,
                            const PassProbes& probes, const PassClock& clock, wchar_t* comment,
                            size_t commentCapacity);

// Trigger comparisons: +1 at or above the threshold, -1 at or below it.
bool CommitMeets(int32_t trigger, uint32_t commitMB, uint32_t thresholdMB);
bool CounterMeets(int32_t trigger, int64_t value, int64_t threshold);
// Private committed bytes in whole mebibytes, rounded down.
uint32_t CommitInMB(uint64_t privateBytes);
