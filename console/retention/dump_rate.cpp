#include "console/retention/dump_rate.h"

#include <windows.h>

#include "common/console_output.h"
#include "common/file_time_ticks.h"
#include "console/retention/our_dumps.h"

uint32_t DumpsInLastHour(const std::vector<DumpCandidate>& candidates, uint64_t now) {
    uint32_t recent = 0;
    for (const DumpCandidate& candidate : candidates) {
        if (candidate.completeDump &&
            (candidate.written > now || now - candidate.written < kHourIn100ns)) {
            ++recent;
        }
    }
    return recent;
}

bool RateAllowsDump(const wchar_t* dumpPath, KeptFiles kept, uint32_t ratePerHour,
                    uint32_t* recent) {
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    *recent = DumpsInLastHour(OurDumpsBeside(dumpPath, kept), FileTimeTicks(now));
    if (*recent < ratePerHour) {
        return true;
    }
    PrintWide(L"Dump skipped: %u dumps in the last hour, -rate allows %u.\n", *recent, ratePerHour);
    return false;
}
