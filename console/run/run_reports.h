// What a run tells besides its console lines: the event log (-log) from its
// start to its end, and the run's part of the metadata beside each dump.
#pragma once

#include <windows.h>

#include "console/series/series_reports.h"
#include "console/options/option_scan.h"
#include "console/report/event_log.h"

// Opens the event log when -log was given and writes "run_started" with the
// settings (not in a run handed over: the 32-bit build has written it). A
// log that cannot be opened is reported; the run then ends with exit code 1
// before anything is watched.
bool StartEventLog(const ScannedOptions& options, bool handedOver, EventLog& log);

// Writes "run_ended" and reports, once, a line of the log that could not be
// written.
void EndEventLog(EventLog& log, int exitCode);

// The metadata flag, the log and the run's facts every metadata file holds.
void FillSeriesReports(SeriesReports& reports, const MonitorConfig& config, bool handedOver,
                       const wchar_t* processName, EventLog& log);
