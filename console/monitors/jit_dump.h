// The dump of a just-in-time start: the system names the failing process and
// the address, inside it, of a record that points at the exception record and
// context of the failing thread.
#pragma once

#include <windows.h>

#include <cstdint>

#include "console/monitors/monitor_run.h"
#include "console/series/dump_series.h"

// Formats the comment, follows the record when there is a usable one, and
// writes the series (with the exception of the failing thread when the
// record could be followed, without exception information otherwise).
// A crash comes once: the series does not wait for the quiet time.
SeriesOutcome WriteJitDump(const MonitorRun& run);
