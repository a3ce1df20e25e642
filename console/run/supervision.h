// Watching the monitor threads until the monitoring ends.
#pragma once

#include <windows.h>

#include "console/report/event_log.h"
#include "console/series/shared_series_state.h"

// Waits until the threads end by themselves, the target exits ("The process
// has exited.", which raises the stop signal) or the stop signal is raised;
// then gives the threads 1000 ms. When that is not enough, no new dump
// series may start, a series being written is waited for (a dump in
// progress is always finished), and the threads get 1000 ms more. A thread
// is never ended forcibly: it might hold a lock the closing lines need.
// Returns false when a thread is still running; the caller must then keep
// everything that thread may read alive until the process ends.
bool SuperviseMonitorThreads(const HANDLE* threads, DWORD threadCount, HANDLE process,
                             HANDLE stopSignal, SharedSeriesState& series, EventLog& log);
