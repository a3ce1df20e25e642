// Watching the monitor threads until the monitoring ends.
#pragma once

#include <windows.h>

#include <cstdint>

#include "console/series/watch_series.h"

struct SupervisedWatch {
    const HANDLE* threads;  // the monitor threads of the process watched
    DWORD threadCount;
    HANDLE process;
    uint32_t processId;
    HANDLE runStop;        // Ctrl+C
    HANDLE watchStop;      // what the threads wait on
    const wchar_t* label;  // the process's name and id with -all, else null
};

// Waits until the threads end by themselves, the target exits ("The process
// has exited.") or Ctrl+C or a thread raises a stop signal; then raises the
// watch's stop signal and gives the threads 1000 ms. When that is not
// enough, no new dump series may start, a series being written is waited for
// (a dump in progress is always finished), and the threads get 1000 ms more.
// A thread is never ended forcibly: it might hold a lock the closing lines
// need. Returns false when a thread is still running; the caller must then
// keep everything that thread may read alive until the process ends. Only
// this watch's series are closed: the run's other watches go on.
bool SuperviseMonitorThreads(const SupervisedWatch& watch, WatchSeries& series);
