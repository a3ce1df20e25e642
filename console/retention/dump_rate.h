// -rate: at most so many dumps in any hour. The dump folder is the state
// that separate runs share (every postmortem start is a run of its own), so
// the dumps are counted from what the folder holds.
#pragma once

#include <cstdint>
#include <vector>

#include "console/retention/retention_choice.h"
#include "console/retention/retention_policy.h"

constexpr uint64_t kHourIn100ns = 36000000000ull;

// The complete dumps written in the hour before now (file times, 100 ns
// units): a dump exactly an hour old no longer counts. A dump whose time
// lies after now (the clock was set back since) counts: it is recent.
uint32_t DumpsInLastHour(const std::vector<DumpCandidate>& candidates, uint64_t now);

// True when one more dump beside dumpPath keeps within ratePerHour.
// Otherwise prints "Dump skipped: ..." and returns false; *recent is the
// number of dumps of ours the folder holds from the last hour.
bool RateAllowsDump(const wchar_t* dumpPath, KeptFiles kept, uint32_t ratePerHour,
                    uint32_t* recent);
