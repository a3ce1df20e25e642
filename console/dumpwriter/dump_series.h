// The dump writer's single entry: writes the series of one trigger.
#pragma once

#include <cstdint>

#include "console/dumpwriter/dump_request.h"

// Under the series lock: when a series has been written already, returns 1
// at once without writing or printing. Otherwise creates the dump directory,
// writes request.count files back to back (numbered names when more than
// one), each followed by its reflected dump when asked for, prints
// "Dump written.\n" only when every file was written, and marks the series
// written (and failed, when a file failed). Returns the result of the last
// file attempted (nonzero = written).
uint32_t WriteDumpSeries(const DumpRequest& request, DumpSeriesState& series);
