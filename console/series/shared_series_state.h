// The state of a run's dump series that every thread able to start a series
// shares, with the lock that guards it. Only console/series/series_gate
// takes the lock, and never for longer than a few steps: no file is written
// and no gap waited out while it is held, so a thread that holds the target
// still at a debug event never waits on another thread's slow work.
#pragma once

#include <windows.h>

#include <cstdint>

#include "console/retention/retention_policy.h"
#include "console/series/series_reports.h"
#include "console/series/watch_policy.h"

// What the files of the run have come to.
struct SeriesTally {
    uint32_t filesWritten = 0;
    uint32_t filesDeleted = 0;   // by -keep
    uint32_t filesSkipped = 0;   // by -free
    uint32_t filesOverRate = 0;  // skipped by -rate
};

struct SharedSeriesState {
    SharedSeriesState() {
        InitializeCriticalSection(&lock);
        InitializeConditionVariable(&seriesEnded);
    }
    ~SharedSeriesState() { DeleteCriticalSection(&lock); }
    SharedSeriesState(const SharedSeriesState&) = delete;
    SharedSeriesState& operator=(const SharedSeriesState&) = delete;

    WatchPolicy policy;     // set before any thread starts, then only read
    SeriesReports reports;  // likewise
    // Read and changed only by the thread writing a series, one at a time.
    NumberingState numbering;

    CRITICAL_SECTION lock;  // guards the rest
    CONDITION_VARIABLE seriesEnded;
    bool running = false;  // a series is being written
    bool closed = false;   // the run is ending: no series starts any more
    uint32_t seriesStarted = 0;
    uint32_t seriesWritten = 0;  // series ended, written or attempted
    uint64_t quietUntil = 0;     // GetTickCount64 value before which no trigger fires
    SeriesTally tally;
    // A file could not be written or was skipped, or a monitor failed: the
    // run then ends with exit code 1 instead of reporting success to a
    // script that trusts exit code 0.
    bool failed = false;
    bool monitorFailed = false;  // a monitor could not go on
};
