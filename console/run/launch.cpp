#include "console/run/launch.h"

#include <process.h>

#include "console/monitors/debug_event_monitor.h"

bool StartLaunchOnDebugThread(DebugThreadLaunch& launch, MonitorRun& run, const wchar_t* image,
                              wchar_t* arguments) {
    launch.request = {};
    launch.launched.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    launch.proceed.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!launch.launched || !launch.proceed) {
        return false;
    }
    launch.request.image = image;
    launch.request.arguments = arguments;
    launch.request.launched = launch.launched.Get();
    launch.request.proceed = launch.proceed.Get();
    run.launchRequest = &launch.request;
    launch.thread.Reset(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, DebugEventMonitorThread, &run, 0, nullptr)));
    if (!launch.thread) {
        return false;
    }
    HANDLE waitFor[] = {launch.launched.Get(), launch.thread.Get()};
    DWORD which = WaitForMultipleObjects(2, waitFor, FALSE, INFINITE);
    if (which != WAIT_OBJECT_0) {
        // The thread ended without launching; treat it as a failed launch.
        launch.request.succeeded = false;
        launch.request.error = ERROR_PROCESS_ABORTED;
    }
    return true;
}

void ProceedWithDebugThreadLaunch(DebugThreadLaunch& launch) {
    SetEvent(launch.proceed.Get());
}

void AbandonDebugThreadLaunch(DebugThreadLaunch& launch, bool terminateProcess) {
    launch.request.abandon = true;
    launch.request.terminate = terminateProcess;
    SetEvent(launch.proceed.Get());
    WaitForSingleObject(launch.thread.Get(), INFINITE);
}
