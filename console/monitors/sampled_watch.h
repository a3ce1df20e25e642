// One watched process as the run's sampling thread sees it: what its
// triggers need, where they stand between passes, and what a pass hands to
// the process's own counter thread. The counter thread writes the dumps, so
// that a dump being written (or the gaps of its series) never holds up the
// sampling of the other processes.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "common/unique_resource.h"
#include "console/dumpwriter/dump_metadata.h"
#include "console/monitors/monitor_run.h"
#include "console/monitors/sampling_pass.h"
#include "console/monitors/thread_cpu_ledger.h"
#include "console/options/monitor_config.h"

enum class SampledOutcome {
    kDump,           // a trigger fired: comment and fired say which
    kFirstPassDone,  // the first pass fired nothing (asked for by reportFirstPass)
};

struct SampledWatch {
    // Set by the counter thread before it adds the watch to the sampler,
    // then only read.
    const MonitorRun* run = nullptr;
    PassSettings settings = {};
    // The performance counter (-p), read on the sampling thread; null
    // without one.
    void* counterContext = nullptr;
    bool (*sampleCounter)(void* context, int64_t* value) = nullptr;
    bool reportFirstPass = false;  // a just-in-time start hears of its first pass
    UniqueHandle handedOver;       // auto-reset event: a pass handed something over

    // The hand-over: the sampling thread writes outcome, fired and comment
    // only while pending is false and then sets it; the counter thread reads
    // them and clears pending once it has acted on them. A watch with
    // something pending is not sampled.
    std::atomic<bool> pending{false};
    SampledOutcome outcome = SampledOutcome::kDump;
    MetadataTrigger fired;
    const void* firedWindow = nullptr;  // the hung window, when that trigger fired
    wchar_t comment[kDumpCommentCapacity] = {};

    // The sampling thread's alone.
    PassState state = {};
    uint32_t seenSeries = 0;     // series of the process seen so far
    bool rearming = false;       // a series was seen: sampled again once armed
    bool afterHandOver = false;  // its counter thread has had a dump to write
    bool sampled = false;     // has had its first pass
    bool failed = false;      // a query for it failed: it is sampled no more
    ThreadCpuLedger ledger;   // its threads' times, where the process times do not move
    std::vector<ThreadTimeReading> readings;
    const void* hungWindow = nullptr;  // what this pass found
};
