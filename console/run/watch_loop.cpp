#include "console/run/watch_loop.h"

#include <string>

#include "common/console_output.h"
#include "common/stop_signal.h"
#include "console/report/error_report.h"
#include "console/run/every_instance.h"
#include "console/run/next_process.h"
#include "console/run/watch_making.h"
#include "console/run/watch_summary.h"
#include "console/series/series_gate.h"

namespace {

// -w <name> with -a: a watch that outlives its process, to catch the crash
// after the system has started the service again.
bool FollowsTheName(const RunState& run) {
    const ScannedOptions& options = run.options;
    return options.wait && options.targetByName && !options.launch && options.settings.rearm != 0 &&
           options.settings.jitMode == 0 && options.settings.allInstances == 0;
}

// Whether the watch goes on with the next process of the name: its process
// has ended, and neither Ctrl+C, nor the end of the watch's series, nor a
// monitor that failed has ended the run. The series of the watch that has
// ended were closed for it alone: the next process's watch has its own.
bool GoesOnWithTheNext(RunState& run, ProcessWatch& watch) {
    return FollowsTheName(run) && !watch.threadLeftRunning && !StopRaised(run.stopSignal.Get()) &&
           WaitForSingleObject(watch.process.Get(), 0) == WAIT_OBJECT_0 &&
           !SeriesFinished(watch.series) && !SummariseSeries(watch.series).monitorFailed;
}

void RecordWatched(RunState& run, const ProcessWatch& watch) {
    run.watched.push_back(watch.identity);
    if (FollowsTheName(run)) {
        run.log.ProcessStarted(watch.identity.id, run.target.processName);
    }
}

enum class NextProcess { kTaken, kStopped, kFailed };

// Waits for the next process of the name and makes it the run's watch.
// kStopped when Ctrl+C ended the wait; kFailed (reported) when the watch
// cannot go on, which ends the run with exit code 1.
NextProcess TakeNextProcess(RunState& run, std::unique_ptr<ProcessWatch>* next) {
    PrintWide(L"Waiting for the next %s ...\n", run.target.processName);
    for (;;) {
        WatchedProcess found = {};
        std::vector<WatchedProcess> seen = run.watched;
        seen.insert(seen.end(), run.passedOver.begin(), run.passedOver.end());
        if (!WaitForNextProcess(run.options.targetName, seen, run.stopSignal.Get(), &found)) {
            return NextProcess::kStopped;
        }
        UniqueHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, found.id));
        if (!process) {
            // Reported once; that process is passed over and the wait goes on.
            ReportWin32Error(L"Failed to open process", GetLastError());
            run.passedOver.push_back(found);
            continue;
        }
        std::unique_ptr<ProcessWatch> watch = NewWatch(run);
        if (!watch) {
            return NextProcess::kFailed;
        }
        watch->process = std::move(process);
        if (!CompleteWatch(run, *watch, found.id)) {
            return NextProcess::kFailed;
        }
        PrintWide(L"Process:               %s (%d)\n", run.target.processName,
                  static_cast<int>(found.id));
        *next = std::move(watch);
        return NextProcess::kTaken;
    }
}

// Starts the watch and waits for its end. False when a thread could not be
// started.
bool WatchToItsEnd(RunState& run, std::unique_ptr<ProcessWatch>& watch) {
    if (!StartWatch(*watch)) {
        return false;
    }
    run.watches.Add(std::move(watch));
    run.watches.WaitForEveryEnd();
    watch = run.watches.TakeEnded();
    return true;
}

// The watched process has gone, or the watch has ended: what it holds goes
// too, unless a thread of it is still running.
void LetGo(RunState& run, std::unique_ptr<ProcessWatch> watch) {
    if (watch && watch->threadLeftRunning) {
        run.threadLeftRunning = true;
        run.watches.KeepForever(std::move(watch));
    }
}

int WatchOneAfterAnother(RunState& run) {
    std::unique_ptr<ProcessWatch> watch = std::move(run.first);
    for (;;) {
        RecordWatched(run, *watch);
        if (!WatchToItsEnd(run, watch)) {
            return kExitFailure;
        }
        if (!GoesOnWithTheNext(run, *watch)) {
            break;
        }
        LetGo(run, std::move(watch));
        const NextProcess next = TakeNextProcess(run, &watch);
        if (next == NextProcess::kFailed) {
            MarkRunFailed(run.series);
        }
        if (next != NextProcess::kTaken) {
            break;
        }
    }
    LetGo(run, std::move(watch));
    return kExitSuccess;
}

// The closing line of a long watch (-a, -all) with what it has done, and
// with -w the processes it followed.
void PrintWatchSummary(const RunState& run, const SeriesSummary& summary) {
    if (!run.series.policy.retention.numberAcrossRun && run.options.settings.allInstances == 0) {
        return;
    }
    PrintWide(L"%s\n",
              WatchEndedLine(summary, run.series.policy.retention.ratePerHour != 0).c_str());
    if (run.options.settings.allInstances != 0) {
        PrintWide(L"%s\n", EveryInstanceLine(run.target.processName, run.records).c_str());
    } else if (FollowsTheName(run)) {
        std::wstring processes;
        for (const WatchedProcess& process : run.watched) {
            processes += (processes.empty() ? L"" : L", ") + std::to_wstring(process.id);
        }
        PrintWide(L"Processes watched: %s (%s).\n", run.target.processName, processes.c_str());
    }
}

}  // namespace

int WatchProcesses(RunState& run) {
    if (run.options.settings.allInstances != 0) {
        run.sampler.TellProcessesNamed(run.options.targetName);
    }
    // Like a monitor thread that cannot be started: nothing is printed.
    if (RunSamples(run.options.settings) && !run.sampler.Start()) {
        return kExitFailure;
    }
    const int started = run.options.settings.allInstances != 0 ? WatchEveryInstance(run)
                                                               : WatchOneAfterAnother(run);
    run.sampler.Stop();
    if (started != kExitSuccess) {
        return started;
    }
    const SeriesSummary summary = SummariseSeries(run.series);
    PrintWatchSummary(run, summary);
    return summary.failed ? kExitFailure : kExitSuccess;
}
