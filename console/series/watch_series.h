// The dump series of one watched process: what its monitor threads share
// with each other and, through SharedSeriesState, with the run's other
// watched processes.
#pragma once

#include <windows.h>

#include <cstdint>

#include "console/retention/retention_policy.h"
#include "console/series/series_reports.h"
#include "console/series/shared_series_state.h"

// How many series may be written (-a): the processes a followed name brings
// one after the other share one, each process of -all has its own. Guarded
// by the run's series lock.
struct SeriesBudget {
    uint32_t limit = 1;  // 0 = no limit
    uint32_t written = 0;
};

struct WatchSeries {
    WatchSeries(SharedSeriesState& run, SeriesBudget& seriesBudget)
        : shared(run), budget(seriesBudget), numbering(&run.numbering) {}
    WatchSeries(const WatchSeries&) = delete;
    WatchSeries& operator=(const WatchSeries&) = delete;

    SharedSeriesState& shared;
    SeriesBudget& budget;
    // Set before any thread of the process starts, then only read.
    uint32_t gapSeconds = 0;      // -g: files of a series start this far apart
    HANDLE stopSignal = nullptr;  // the watch's stop signal: a gap ends at once when raised
    SeriesReports reports;
    const wchar_t* lineLabel = nullptr;  // "<name> (<pid>)" with -all, else null
    // The run's numbering when every process writes to one dump path,
    // ownNumbering when this process's path is its own. Used under the
    // run's file lock.
    NumberingState* numbering;
    NumberingState ownNumbering;

    // Under shared.lock.
    bool running = false;  // a series of this process is being written
    bool closed = false;   // the watch is ending: no series of it starts any more
    uint32_t seriesStarted = 0;
    uint32_t seriesWritten = 0;
    SeriesTally tally;
    bool monitorFailed = false;
};
