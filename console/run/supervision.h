// Watching the monitor threads until the monitoring ends.
#pragma once

#include <windows.h>

#include "console/report/event_log.h"

// Waits until the threads end by themselves, the target exits ("The process
// has exited.", which raises the stop signal) or the stop signal is raised;
// then gives the threads 1000 ms. A thread still running after that is ended
// forcibly, but never while a dump series is being written: the series lock
// is taken first, so a dump in progress is always finished.
void SuperviseMonitorThreads(const HANDLE* threads, DWORD threadCount, HANDLE process,
                             HANDLE stopSignal, CRITICAL_SECTION* dumpLock, EventLog& log);
