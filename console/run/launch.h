// Starting the -x image: on the entry's own thread when no debug-event
// monitoring is asked for, or on the debug-event thread when it is (debug
// events reach only the thread that created the process).
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/unique_resource.h"
#include "console/monitors/debug_launch.h"
#include "console/monitors/monitor_run.h"

struct DebugThreadLaunch {
    DebugLaunchRequest request;
    UniqueHandle launched;
    UniqueHandle proceed;
    UniqueHandle thread;
};

// Starts the debug-event thread with run (whose launchRequest is pointed at
// launch.request) and waits until it has tried the launch. Returns false
// when the thread or its events could not be created; otherwise the outcome
// of the launch is in launch.request.
bool StartLaunchOnDebugThread(DebugThreadLaunch& launch, MonitorRun& run, const wchar_t* image,
                              wchar_t* arguments);

// Lets the thread go on into its monitoring loop; the record must be complete.
void ProceedWithDebugThreadLaunch(DebugThreadLaunch& launch);

// Ends the thread before monitoring begins, terminating the launched process
// when asked, and waits for it.
void AbandonDebugThreadLaunch(DebugThreadLaunch& launch, bool terminateProcess);
