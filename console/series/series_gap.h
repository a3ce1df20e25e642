// The spacing of the files of a series (-g).
#pragma once

#include <cstdint>

// How long to wait before the next file of a series starts, when files start
// gapSeconds apart (start to start) and the previous one started at
// previousStart (both in milliseconds of one clock). 0 when the previous
// file took longer than the gap.
uint64_t GapWaitMilliseconds(uint64_t previousStart, uint64_t now, uint32_t gapSeconds);
