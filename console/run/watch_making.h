// The one place a watch is made and filled for a process: the first one,
// the next process of a followed name, and every process -all picks up.
#pragma once

#include <cstdint>
#include <memory>

#include "console/run/run_state.h"

// Decides, once the dump path is complete, how the run names and bounds its
// files and how many series each watch may write.
void FillRunPolicy(RunState& run);

// Whether a trigger of the run is sampled (by the run's sampling thread).
bool RunSamples(const MonitorConfig& settings);

// A new watch of the run, not yet holding a process; null, reported, when
// memory ran out.
std::unique_ptr<ProcessWatch> NewWatch(RunState& run);

// Fills the watch, whose process is open, for process `id` (its record, its
// dump path, its series and reports). False, reported, when it cannot be.
bool CompleteWatch(RunState& run, ProcessWatch& watch, uint32_t id);
