// The one place that decides whether a dump series may start. Every monitor
// thread of every watched process asks it, under the run's series lock, so
// that -a, -q and a series already being written hold for all alike: -a and
// a series being written for the threads of one process, -q for every
// process of the run together.
#pragma once

#include <cstdint>

#include "console/series/shared_series_state.h"
#include "console/series/watch_series.h"

enum class SeriesDemand {
    // A trigger (CPU, commit, counter, hung window, a manual dump, a first
    // chance exception): starts only while the triggers are armed, that is
    // no series of the process is being written and the quiet time is over
    // (with -q, a series of another process being written is quiet time
    // too); otherwise it is dropped at once.
    kWhenArmed,
    // An event that will not come again (an unhandled exception, the end of
    // the process, a just-in-time start): waits for a series of the process
    // being written to end, and the quiet time does not hold it back.
    kAlways,
};

enum class SeriesStart {
    kStarted,   // the caller writes the series and then calls EndSeries
    kFinished,  // every series of the watch is written, or the watch is ending
    kBusy,      // another series of the process is being written (kWhenArmed only)
    kQuiet,     // the quiet time after a series is not over (kWhenArmed only)
};

SeriesStart BeginSeries(WatchSeries& series, SeriesDemand demand);

// Ends the series begun: adds its tally, marks the run failed when asked,
// starts the quiet time and lets a waiting series begin.
void EndSeries(WatchSeries& series, const SeriesTally& tally, bool failed);

// Whether the watch has written all the series it may write, or is closed.
bool SeriesFinished(WatchSeries& series);

// Series of the process started so far, so that one thread notices a series
// of the other.
uint32_t SeriesStartedCount(WatchSeries& series);

// Milliseconds until a trigger of the process may fire again: 0 when armed,
// what is left of the quiet time, or, while a series is being written, a
// short while to look again.
uint64_t MillisecondsUntilArmed(WatchSeries& series);

// A monitor of the process could not go on: its watch ends, and the run
// with exit code 1.
void MarkMonitorFailed(WatchSeries& series);

// The watch is ending: no series of it starts any more. Waits for one being
// written to end (its gap, if any, ends at once with the stop signal; a file
// being written is never cut). The other watches of the run go on.
void CloseSeries(WatchSeries& series);

// What the files came to, and whether anything failed.
struct SeriesSummary {
    uint32_t seriesWritten;
    SeriesTally tally;
    bool failed;
    bool monitorFailed;
};
// Of the whole run.
SeriesSummary SummariseSeries(SharedSeriesState& shared);
// Of one watched process (failed: a monitor of it failed).
SeriesSummary SummariseSeries(WatchSeries& series);

// The run could not go on as asked (a watch that could not be set up): it
// ends with exit code 1.
void MarkRunFailed(SharedSeriesState& shared);
