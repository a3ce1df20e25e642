// What each monitor thread of a watched process is started with: the
// process's settings and the shared objects, all owned by the entry and
// alive until the process's threads have ended.
#pragma once

#include <windows.h>
#include <dbghelp.h>

#include "console/dumpwriter/dump_request.h"
#include "console/options/monitor_config.h"
#include "console/series/watch_series.h"

struct DebugLaunchRequest;  // console/monitors/debug_launch.h
class SharedSampler;        // console/monitors/shared_sampler.h

struct MonitorRun {
    const MonitorConfig* config;  // complete before a thread reads it, then only read
    HANDLE stopEvent;             // the watch's stop signal (common/stop_signal.h)
    WatchSeries* series;
    // The run's one sampling thread, which reads the counters of every
    // watched process; null when no trigger of the run samples.
    SharedSampler* sampler;
    // "<name> (<pid>)" for the lines printed about the process when the run
    // watches several at once; null otherwise.
    const wchar_t* lineLabel;
    // Set when the run launches its target (-x) and also watches debug
    // events: the debug-event thread then launches the image itself, since
    // the platform delivers a process's debug events only to the thread that
    // created it. It is the only field the thread may read before the
    // request's proceed event is set; the rest of the record is complete by
    // then. Null when the thread attaches to a running process.
    DebugLaunchRequest* launchRequest;
};

// The dump writer's request for a trigger of this process.
DumpRequest DumpRequestFor(const MonitorRun& run, const wchar_t* comment,
                           const MetadataTrigger& trigger,
                           MINIDUMP_EXCEPTION_INFORMATION* exception = nullptr,
                           bool firstChance = false);
