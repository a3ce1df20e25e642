// The dump writer's single entry: writes the series of one trigger.
#pragma once

#include <cstdint>

#include "console/dumpwriter/dump_request.h"

// Under the series lock: when the run's series are all written, returns 1 at
// once without writing or printing. Otherwise creates the dump directory and
// writes request.count files (numbered names when more than one, or across
// the run with numberAcrossRun), each followed by its reflected dump when
// asked for, starting gapSeconds apart; a raised stop signal ends a gap and
// the series. Each file is checked against -free before and bounded by
// -keep after. Prints "Dump written.\n" only when every file was written,
// marks the run failed when one failed or was skipped, and starts the quiet
// time. Returns nonzero when every file attempted was written.
uint32_t WriteDumpSeries(const DumpRequest& request, DumpSeriesState& series);

// Whether the run has written all the series it may write.
bool SeriesFinished(DumpSeriesState& series);

// Series written so far, so that a thread notices a series of another.
uint32_t SeriesCount(DumpSeriesState& series);

// Milliseconds left of the quiet time after the last series.
uint64_t QuietMillisecondsLeft(DumpSeriesState& series);
