// The closing lines of a watch: what its series came to, and the processes
// it watched.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/series/series_gate.h"

// "Watch ended: <n> series, <n> files written, <n> deleted by -keep, <n>
// skipped by -free[, <n> skipped by -rate]." without its line end.
std::wstring WatchEndedLine(const SeriesSummary& summary, bool rateLimited);

// -all: "Processes watched: <name> (<pid>: <n> dumps, ...)." without its
// line end; one dump is "1 dump".
struct ProcessDumps {
    uint32_t processId;
    uint32_t dumps;  // files written
};
std::wstring EveryInstanceLine(const wchar_t* name, const std::vector<ProcessDumps>& processes);
