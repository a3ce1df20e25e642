// How a run bounds what its dump files take on disk, on top of how it names
// them.
#pragma once

#include <cstdint>

#include "console/dumpfolder/naming_policy.h"

// The defaults give what a run without the long-watch options does.
struct RetentionPolicy : NamingPolicy {
    uint32_t keepFiles = 0;    // -keep: at most this many dumps of ours; 0 = no bound
    uint64_t freeMB = 0;       // -free: no file while less is free; 0 = no guard
    uint32_t ratePerHour = 0;  // -rate: at most this many dumps in any hour; 0 = no bound
};
