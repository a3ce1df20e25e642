// The state of a run's dump series that every thread able to start a series
// shares, for every process the run watches, with the lock that guards it.
// Only console/series/series_gate takes the lock, and never for longer than
// a few steps: no file is written and no gap waited out while it is held, so
// a thread that holds the target still at a debug event never waits on
// another thread's slow work.
#pragma once

#include <windows.h>

#include <cstdint>

#include "console/retention/retention_policy.h"
#include "console/series/watch_policy.h"

// What the files of the run (or of one watched process) have come to.
struct SeriesTally {
    uint32_t filesWritten = 0;
    uint32_t filesDeleted = 0;   // by -keep
    uint32_t filesSkipped = 0;   // by -free
    uint32_t filesOverRate = 0;  // skipped by -rate
};

struct SharedSeriesState {
    SharedSeriesState() {
        InitializeCriticalSection(&lock);
        InitializeCriticalSection(&fileLock);
        InitializeConditionVariable(&seriesEnded);
    }
    ~SharedSeriesState() {
        DeleteCriticalSection(&fileLock);
        DeleteCriticalSection(&lock);
    }
    SharedSeriesState(const SharedSeriesState&) = delete;
    SharedSeriesState& operator=(const SharedSeriesState&) = delete;

    WatchPolicy policy;  // set before any thread starts, then only read
    // The numbering of a dump path every watched process writes to; read
    // and changed only under fileLock.
    NumberingState numbering;
    // One file of the run at a time: the platform's dump writer must not be
    // called from two threads at once, and each file's decisions about the
    // folder (-rate, -free, the name claimed, -keep) are taken one file at a
    // time. Held while a file is written, never while a gap is waited out.
    CRITICAL_SECTION fileLock;

    CRITICAL_SECTION lock;  // guards the rest, and the gate's part of every WatchSeries
    CONDITION_VARIABLE seriesEnded;
    uint32_t running = 0;  // series being written, of every process
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
