#include "console/run/process_watch.h"

#include <process.h>

#include "common/bounded_text.h"
#include "common/stop_signal.h"
#include "console/monitors/counter_monitor.h"
#include "console/monitors/debug_event_monitor.h"
#include "console/report/error_report.h"
#include "console/run/run_reports.h"
#include "console/run/supervision.h"

namespace {

HANDLE StartThread(unsigned(__stdcall* procedure)(void*), void* argument) {
    return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, procedure, argument, 0, nullptr));
}

bool StartDebugThread(ProcessWatch& watch) {
    if (watch.debugThread) {
        ProceedWithDebugThreadLaunch(watch.debugLaunch);
        return true;
    }
    watch.debugThread.Reset(StartThread(DebugEventMonitorThread, &watch.monitorRun));
    return static_cast<bool>(watch.debugThread);
}

// The monitor threads must not outlive the record they read.
void StopAndJoin(ProcessWatch& watch) {
    RaiseStop(watch.stop.Get());
    if (watch.debugThread) {
        WaitForSingleObject(watch.debugThread.Get(), INFINITE);
    }
    if (watch.counterThread) {
        WaitForSingleObject(watch.counterThread.Get(), INFINITE);
    }
}

bool StartMonitorThreads(ProcessWatch& watch) {
    if (watch.config.debugThread) {
        if (!StartDebugThread(watch)) {
            return false;
        }
    } else {
        // Ends the debugging relation of a -x launch and lets the process
        // run; no effect on an opened process.
        DebugActiveProcessStop(watch.config.processId);
    }
    watch.counterThread.Reset(StartThread(CounterMonitorThread, &watch.monitorRun));
    if (!watch.counterThread) {
        StopAndJoin(watch);
        return false;
    }
    return true;
}

void Supervise(ProcessWatch& watch) {
    HANDLE threads[2] = {watch.counterThread.Get(), watch.debugThread.Get()};
    const SupervisedWatch supervised = {threads,
                                        static_cast<DWORD>(watch.debugThread ? 2 : 1),
                                        watch.process.Get(),
                                        watch.config.processId,
                                        watch.runStop,
                                        watch.stop.Get(),
                                        watch.monitorRun.lineLabel};
    watch.threadLeftRunning = !SuperviseMonitorThreads(supervised, watch.series);
    if (WaitForSingleObject(watch.process.Get(), 0) == WAIT_OBJECT_0) {
        watch.log->ProcessExited(watch.config.processId);
    }
}

unsigned __stdcall SuperviseWatch(void* argument) {
    auto& watch = *static_cast<ProcessWatch*>(argument);
    Supervise(watch);
    SetEvent(watch.runWoken);
    return 0;
}

}  // namespace

ProcessWatch::ProcessWatch(SharedSeriesState& shared, SeriesBudget* runBudget, uint32_t seriesLimit)
    : ownBudget{seriesLimit, 0}, series(shared, runBudget != nullptr ? *runBudget : ownBudget) {}

// Out of line, so that letting a watch go is one call wherever it happens.
ProcessWatch::~ProcessWatch() = default;

bool FillWatch(ProcessWatch& watch, const WatchFilling& filling, uint32_t processId,
               const wchar_t* name, const wchar_t* dumpPath) {
    watch.stop.Reset(CreateStopSignal());
    if (!watch.stop) {
        ReportWin32Error(L"Failed to create event", GetLastError());
        return false;
    }
    watch.identity = {processId, ProcessCreationTime(watch.process.Get())};
    CopyBounded(watch.name, MAX_PATH, name);
    CopyBounded(watch.dumpPath, MAX_PATH, dumpPath);
    if (filling.labelled) {
        FormatBounded(watch.label, kLineLabelCapacity, L"%s (%u)", name, processId);
    }
    const wchar_t* label = filling.labelled ? watch.label : nullptr;

    // The scanned settings plus the process's handle, identifier and path.
    MonitorConfig& config = watch.config;
    config = *filling.settings;
    config.process = watch.process.Get();
    config.processId = GetProcessId(watch.process.Get());
    config.dumpPath = watch.dumpPath;

    // The launch request, when there is one, was set when the debug-event
    // thread was started.
    watch.monitorRun.config = &config;
    watch.monitorRun.stopEvent = watch.stop.Get();
    watch.monitorRun.series = &watch.series;
    watch.monitorRun.sampler = filling.sampler;
    watch.monitorRun.lineLabel = label;

    WatchSeries& series = watch.series;
    series.gapSeconds = config.gapSeconds;
    series.stopSignal = watch.stop.Get();
    series.lineLabel = label;
    // A path of the process's own is numbered on its own.
    series.numbering = filling.pathPerProcess ? &series.ownNumbering : &series.shared.numbering;
    series.reports = filling.reports;
    FillSeriesReports(series.reports, config, filling.handedOver, name, *filling.log);
    series.reports.logProcessId = filling.labelled ? processId : 0;

    watch.runStop = filling.runStop;
    watch.runWoken = filling.runWoken;
    watch.log = filling.log;
    return true;
}

bool StartWatch(ProcessWatch& watch) {
    if (!StartMonitorThreads(watch)) {
        watch.startFailed = true;
        return false;
    }
    watch.supervisor.Reset(StartThread(SuperviseWatch, &watch));
    if (!watch.supervisor) {
        StopAndJoin(watch);
        watch.startFailed = true;
        return false;
    }
    return true;
}

bool WatchEnded(const ProcessWatch& watch) {
    return !watch.supervisor || WaitForSingleObject(watch.supervisor.Get(), 0) == WAIT_OBJECT_0;
}
