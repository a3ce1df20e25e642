#include "console/run/every_instance.h"

#include <algorithm>
#include <cwchar>

#include "common/bounded_text.h"
#include "common/labelled_output.h"
#include "common/stop_signal.h"
#include "console/monitors/process_list.h"
#include "console/monitors/system_readings.h"
#include "console/report/error_report.h"
#include "console/run/watch_making.h"
#include "console/series/series_gate.h"

namespace {

// How often the process list is looked through for processes of the name.
constexpr DWORD kLookAgainMilliseconds = 1000;

bool Seen(const RunState& run, uint32_t id) {
    for (const SeenProcess& process : run.seen) {
        if (process.id == id) {
            return true;
        }
    }
    return false;
}

// The label of a process not watched, for the line that says so.
void PrintAboutProcess(const RunState& run, uint32_t id, const wchar_t* text) {
    wchar_t label[kLineLabelCapacity];
    FormatBounded(label, kLineLabelCapacity, L"%s (%u)", run.target.processName, id);
    PrintLabelled(label, L"%s\n", text);
}

// Passed over for good: reported once, and not looked at again while it runs.
void PassOver(RunState& run, uint32_t id) {
    run.seen.push_back({id, UniqueHandle(OpenProcess(
                                SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id))});
}

// Starts watching a process of the name that no watch of the run has seen.
void PickUp(RunState& run, uint32_t id) {
    if (run.watches.Count() >= kMostWatchedAtOnce) {
        wchar_t text[96];
        FormatBounded(text, 96, L"Not watched: %u processes are watched at once already.",
                      kMostWatchedAtOnce);
        PrintAboutProcess(run, id, text);
        PassOver(run, id);
        return;
    }
    UniqueHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, id));
    if (!process) {
        ReportWin32Error(L"Failed to open process", GetLastError());
        PassOver(run, id);
        return;
    }
    std::unique_ptr<ProcessWatch> watch = NewWatch(run);
    if (!watch) {
        MarkRunFailed(run.series);
        return;
    }
    watch->process = std::move(process);
    if (!CompleteWatch(run, *watch, id)) {
        MarkRunFailed(run.series);
        run.seen.push_back({id, std::move(watch->process)});
        return;
    }
    PrintLabelled(watch->label, L"Watched from now on.\n");
    run.log.ProcessStarted(id, run.target.processName);
    run.records.push_back({id, 0});
    if (!StartWatch(*watch)) {
        MarkRunFailed(run.series);
        run.seen.push_back({id, std::move(watch->process)});
        return;
    }
    run.watches.Add(std::move(watch));
}

// The processes of the name now running: from the sampling thread's latest
// list of every process, or from a list of our own when the run samples
// nothing. False when there is nothing new to look at.
bool ListProcessesOfTheName(RunState& run, std::vector<uint32_t>& ids) {
    if (RunSamples(run.options.settings)) {
        return run.sampler.TakeProcessesNamed(ids);
    }
    ULONG length = 0;
    if (QueryProcessList(run.processList, &length) < 0) {
        return false;
    }
    ids.clear();
    ListedProcessesNamed(run.processList.data(), length, run.options.targetName, ids);
    return true;
}

// Each process of the name that is neither watched nor seen is picked up;
// what is seen and no longer listed has gone.
void LookForNewProcesses(RunState& run) {
    std::vector<uint32_t>& listed = run.listedIds;
    if (!ListProcessesOfTheName(run, listed)) {
        return;
    }
    for (uint32_t id : listed) {
        if (!run.watches.Holds(id) && !Seen(run, id)) {
            PickUp(run, id);
        }
    }
    auto gone = [&](const SeenProcess& process) {
        return std::find(listed.begin(), listed.end(), process.id) == listed.end();
    };
    run.seen.erase(std::remove_if(run.seen.begin(), run.seen.end(), gone), run.seen.end());
}

// The dumps of the watch that has ended, beside its process in the list
// the closing lines give (the last one of that identifier: an identifier
// may come again once its process has gone).
void Record(RunState& run, ProcessWatch& watch) {
    const uint32_t files = SummariseSeries(watch.series).tally.filesWritten;
    for (auto record = run.records.rbegin(); record != run.records.rend(); ++record) {
        if (record->processId == watch.identity.id) {
            record->dumps = files;
            return;
        }
    }
}

// A watch that has ended goes, with everything it holds; its process, when
// it still runs, is seen and not picked up again.
void LetGoOfEnded(RunState& run) {
    while (std::unique_ptr<ProcessWatch> ended = run.watches.TakeEnded()) {
        Record(run, *ended);
        if (ended->threadLeftRunning) {
            run.threadLeftRunning = true;
            run.watches.KeepForever(std::move(ended));
            continue;
        }
        if (WaitForSingleObject(ended->process.Get(), 0) == WAIT_TIMEOUT) {
            run.seen.push_back({ended->identity.id, std::move(ended->process)});
        }
    }
}

}  // namespace

int WatchEveryInstance(RunState& run) {
    std::unique_ptr<ProcessWatch> first = std::move(run.first);
    run.log.ProcessStarted(first->identity.id, run.target.processName);
    run.records.push_back({first->identity.id, 0});
    if (!StartWatch(*first)) {
        return kExitFailure;
    }
    run.watches.Add(std::move(first));
    // The sampling thread tells the processes of the name after each pass.
    HANDLE waitFor[3] = {run.stopSignal.Get(), run.watchEnded.Get(), run.sampler.NamedToldEvent()};
    const DWORD waits = RunSamples(run.options.settings) ? 3 : 2;
    // A monitor that could not go on ends the run, as it does a watch of
    // one process: what was asked for is not being watched.
    while (!StopRaised(run.stopSignal.Get()) && !SummariseSeries(run.series).monitorFailed) {
        LetGoOfEnded(run);
        LookForNewProcesses(run);
        WaitForMultipleObjects(waits, waitFor, FALSE, kLookAgainMilliseconds);
    }
    // Ctrl+C: every watch sees it at once and ends within its own grace.
    run.watches.StopEvery();
    run.watches.WaitForEveryEnd();
    LetGoOfEnded(run);
    return kExitSuccess;
}
