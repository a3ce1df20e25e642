// The one place that decides whether a dump series may start. Both monitor
// threads ask it, under the series lock, so that -a, -q and a series already
// being written hold for both alike.
#pragma once

#include <cstdint>

#include "console/series/shared_series_state.h"

enum class SeriesDemand {
    // A trigger (CPU, commit, counter, hung window, a manual dump, a first
    // chance exception): starts only while the triggers are armed, that is
    // no series is being written and the quiet time is over; otherwise it is
    // dropped at once.
    kWhenArmed,
    // An event that will not come again (an unhandled exception, the end of
    // the process, a just-in-time start): waits for a series being written
    // to end, and the quiet time does not hold it back.
    kAlways,
};

enum class SeriesStart {
    kStarted,   // the caller writes the series and then calls EndSeries
    kFinished,  // every series of the run is written, or the run is ending
    kBusy,      // another series is being written (kWhenArmed only)
    kQuiet,     // the quiet time after a series is not over (kWhenArmed only)
};

SeriesStart BeginSeries(SharedSeriesState& series, SeriesDemand demand);

// Ends the series begun: adds its tally, marks the run failed when asked,
// starts the quiet time and lets a waiting series begin.
void EndSeries(SharedSeriesState& series, const SeriesTally& tally, bool failed);

// Whether the run has written all the series it may write.
bool SeriesFinished(SharedSeriesState& series);

// Series started so far, so that a thread notices a series of the other.
uint32_t SeriesStartedCount(SharedSeriesState& series);

// Milliseconds until a trigger may fire again: 0 when armed, what is left of
// the quiet time, or, while a series is being written, a short while to
// look again.
uint64_t MillisecondsUntilArmed(SharedSeriesState& series);

// A monitor could not go on: the run ends, with exit code 1.
void MarkMonitorFailed(SharedSeriesState& series);

// The run is ending: no series starts any more. Waits for one being written
// to end (its gap, if any, ends at once with the stop signal; a file being
// written is never cut).
void CloseSeries(SharedSeriesState& series);

// Series may start again: the next process of a followed name is watched.
void ReopenSeries(SharedSeriesState& series);

// What the run's files came to, and whether anything failed.
struct SeriesSummary {
    uint32_t seriesWritten;
    SeriesTally tally;
    bool failed;
    bool monitorFailed;
};
SeriesSummary SummariseSeries(SharedSeriesState& series);
