// How the series of a run follow one another in its dump folder: what holds
// for every process the run watches together.
#pragma once

#include <cstdint>

#include "console/retention/retention_policy.h"

// The defaults give what a run without the long-watch options does.
struct WatchPolicy {
    uint32_t quietSeconds = 0;  // -q: no trigger fires for this long after a series
    RetentionPolicy retention;
};
