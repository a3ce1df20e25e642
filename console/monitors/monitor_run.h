// What each monitor thread is started with: the run's settings and the
// run's shared objects, all owned by the entry and alive until both threads
// have ended.
#pragma once

#include <windows.h>
#include <dbghelp.h>

#include "console/dumpwriter/dump_request.h"
#include "console/options/monitor_config.h"
#include "console/series/shared_series_state.h"

struct DebugLaunchRequest;  // console/monitors/debug_launch.h

struct MonitorRun {
    const MonitorConfig* config;  // complete before a thread reads it, then only read
    HANDLE stopEvent;             // the run's stop signal (common/stop_signal.h)
    SharedSeriesState* series;
    // Set when the run launches its target (-x) and also watches debug
    // events: the debug-event thread then launches the image itself, since
    // the platform delivers a process's debug events only to the thread that
    // created it. It is the only field the thread may read before the
    // request's proceed event is set; the rest of the record is complete by
    // then. Null when the thread attaches to a running process.
    DebugLaunchRequest* launchRequest;
};

// The dump writer's request for a trigger of this run.
DumpRequest DumpRequestFor(const MonitorConfig& config, const wchar_t* comment,
                           const MetadataTrigger& trigger,
                           MINIDUMP_EXCEPTION_INFORMATION* exception = nullptr,
                           bool firstChance = false);
