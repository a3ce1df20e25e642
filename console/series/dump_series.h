// The dump writer's single entry for a trigger: writes the series of files
// it asks for.
#pragma once

#include "console/dumpwriter/dump_request.h"
#include "console/series/series_gate.h"
#include "console/series/watch_series.h"

enum class SeriesOutcome {
    kWritten,     // every file of the series was written
    kFailed,      // a file failed or was skipped by -free; the run is marked failed
    kNotStarted,  // the gate let no series start: nothing was written or printed
};

// Asks the gate whether a series may start (see SeriesDemand). When it may,
// creates the dump directory and writes request.count files (numbered names
// when more than one, or across the run with numberAcrossRun), each followed
// by its reflected dump when asked for, starting gapSeconds apart; a raised
// stop signal ends a gap and the series. Each file is checked against -free
// before and bounded by -keep after. Prints "Dump written.\n" only when every
// file was written. The series lock is never held while a file is written or
// a gap waited out; the run's file lock is held for each file, so that the
// series of several processes write their files one at a time.
SeriesOutcome WriteDumpSeries(const DumpRequest& request, WatchSeries& series, SeriesDemand demand);
