#include "console/series/series_gap.h"

uint64_t GapWaitMilliseconds(uint64_t previousStart, uint64_t now, uint32_t gapSeconds) {
    const uint64_t due = previousStart + static_cast<uint64_t>(gapSeconds) * 1000;
    return now >= due ? 0 : due - now;
}
