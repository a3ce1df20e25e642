// How the series of a run follow one another.
#pragma once

#include <windows.h>

#include <cstdint>

#include "console/retention/retention_policy.h"

// The defaults give what a run without the long-watch options does: one
// series of request.count files written back to back.
struct WatchPolicy {
    uint32_t seriesLimit = 1;   // series the run writes (-a); 0 = no limit
    uint32_t gapSeconds = 0;    // -g: files of a series start this far apart
    uint32_t quietSeconds = 0;  // -q: no trigger fires for this long after a series
    RetentionPolicy retention;
    HANDLE stopSignal = nullptr;  // the run's stop signal: a gap ends at once when raised
};
