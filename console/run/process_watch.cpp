#include "console/run/process_watch.h"

#include <process.h>

#include <string>

#include "common/console_output.h"
#include "common/stop_signal.h"
#include "console/monitors/counter_monitor.h"
#include "console/monitors/debug_event_monitor.h"
#include "console/report/error_report.h"
#include "console/run/next_process.h"
#include "console/run/run_reports.h"
#include "console/run/supervision.h"
#include "console/series/series_gate.h"

namespace {

bool StartDebugThread(RunState& run) {
    if (run.debugThread) {
        ProceedWithDebugThreadLaunch(run.debugLaunch);
        return true;
    }
    run.debugThread.Reset(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, DebugEventMonitorThread, &run.monitorRun, 0, nullptr)));
    return static_cast<bool>(run.debugThread);
}

// Starts the threads for the process of the record and supervises them.
// False when a thread could not be started.
bool WatchOneProcess(RunState& run) {
    if (run.config.debugThread) {
        if (!StartDebugThread(run)) {
            return false;
        }
    } else {
        // Ends the debugging relation of a -x launch and lets the process
        // run; no effect on an opened process.
        DebugActiveProcessStop(run.config.processId);
    }
    run.counterThread.Reset(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, CounterMonitorThread, &run.monitorRun, 0, nullptr)));
    if (!run.counterThread) {
        if (run.debugThread) {
            // The thread must not outlive the record it reads.
            RaiseStop(run.watchStop.Get());
            WaitForSingleObject(run.debugThread.Get(), INFINITE);
        }
        return false;
    }
    HANDLE threads[2] = {run.counterThread.Get(), run.debugThread.Get()};
    const SupervisedWatch watch = {threads,
                                   static_cast<DWORD>(run.debugThread ? 2 : 1),
                                   run.process.Get(),
                                   run.config.processId,
                                   run.stopSignal.Get(),
                                   run.watchStop.Get()};
    run.threadLeftRunning = !SuperviseMonitorThreads(watch, run.series);
    if (WaitForSingleObject(run.process.Get(), 0) == WAIT_OBJECT_0) {
        run.log.ProcessExited(run.config.processId);
    }
    return true;
}

// -w <name> with -a: a watch that outlives its process, to catch the crash
// after the system has started the service again.
bool FollowsTheName(const RunState& run) {
    const ScannedOptions& options = run.options;
    return options.wait && options.targetByName && !options.launch && run.config.rearm != 0 &&
           run.config.jitMode == 0;
}

// Whether the watch goes on with the next process of the name: its process
// has ended, and neither Ctrl+C, nor the end of the watch's series, nor a
// monitor that failed has ended the run.
bool GoesOnWithTheNext(RunState& run) {
    return FollowsTheName(run) && !run.threadLeftRunning && !StopRaised(run.stopSignal.Get()) &&
           WaitForSingleObject(run.process.Get(), 0) == WAIT_OBJECT_0 &&
           !SeriesFinished(run.series) && !SummariseSeries(run.series).monitorFailed;
}

void RecordWatched(RunState& run) {
    run.watched.push_back({run.config.processId, ProcessCreationTime(run.process.Get())});
    if (FollowsTheName(run)) {
        run.log.ProcessStarted(run.config.processId, run.target.processName);
    }
}

// Waits for the next process of the name and makes it the record's. False
// when Ctrl+C ended the wait or the watch cannot go on.
bool TakeNextProcess(RunState& run) {
    PrintWide(L"Waiting for the next %s ...\n", run.target.processName);
    for (;;) {
        WatchedProcess next = {};
        std::vector<WatchedProcess> seen = run.watched;
        seen.insert(seen.end(), run.passedOver.begin(), run.passedOver.end());
        if (!WaitForNextProcess(run.options.targetName, seen, run.stopSignal.Get(), &next)) {
            return false;
        }
        UniqueHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, next.id));
        if (!process) {
            // Reported once; that process is passed over and the wait goes on.
            ReportWin32Error(L"Failed to open process", GetLastError());
            run.passedOver.push_back(next);
            continue;
        }
        UniqueHandle watchStop(CreateStopSignal());
        if (!watchStop) {
            ReportWin32Error(L"Failed to create event", GetLastError());
            return false;
        }
        run.process = std::move(process);
        run.watchStop = std::move(watchStop);
        run.target.id = next.id;
        run.debugThread.Reset();
        run.counterThread.Reset();
        run.config.process = run.process.Get();
        run.config.processId = next.id;
        run.monitorRun.stopEvent = run.watchStop.Get();
        run.series.policy.stopSignal = run.watchStop.Get();
        FillSeriesReports(run.series.reports, run.config, run.handedOver, run.target.processName,
                          run.log);
        ReopenSeries(run.series);
        PrintWide(L"Process:               %s (%d)\n", run.target.processName,
                  static_cast<int>(next.id));
        return true;
    }
}

// The closing line of a long watch (-a) with what it has done, and with -w
// the processes it followed.
void PrintWatchSummary(const RunState& run, const SeriesSummary& summary) {
    if (!run.series.policy.retention.numberAcrossRun) {
        return;
    }
    std::wstring line = L"Watch ended: " + std::to_wstring(summary.seriesWritten) + L" series, " +
                        std::to_wstring(summary.tally.filesWritten) + L" files written, " +
                        std::to_wstring(summary.tally.filesDeleted) + L" deleted by -keep, " +
                        std::to_wstring(summary.tally.filesSkipped) + L" skipped by -free";
    if (run.series.policy.retention.ratePerHour != 0) {
        line += L", " + std::to_wstring(summary.tally.filesOverRate) + L" skipped by -rate";
    }
    PrintWide(L"%s.\n", line.c_str());
    if (FollowsTheName(run)) {
        std::wstring processes;
        for (const WatchedProcess& process : run.watched) {
            processes += (processes.empty() ? L"" : L", ") + std::to_wstring(process.id);
        }
        PrintWide(L"Processes watched: %s (%s).\n", run.target.processName, processes.c_str());
    }
}

}  // namespace

int WatchProcesses(RunState& run) {
    for (;;) {
        RecordWatched(run);
        if (!WatchOneProcess(run)) {
            return kExitFailure;
        }
        if (!GoesOnWithTheNext(run) || !TakeNextProcess(run)) {
            break;
        }
    }
    const SeriesSummary summary = SummariseSeries(run.series);
    PrintWatchSummary(run, summary);
    return summary.failed ? kExitFailure : kExitSuccess;
}
