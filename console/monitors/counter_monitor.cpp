#include "console/monitors/counter_monitor.h"

#include <windows.h>
#include <pdh.h>

#include <cstdint>

#include "common/console_output.h"
#include "common/process_wide.h"
#include "common/shown_command_line.h"
#include "common/stop_signal.h"
#include "common/unique_resource.h"
#include "console/monitors/jit_dump.h"
#include "console/monitors/monitor_run.h"
#include "console/monitors/monitor_texts.h"
#include "console/monitors/sampled_watch.h"
#include "console/monitors/sampling_pass.h"
#include "console/monitors/shared_sampler.h"
#include "console/options/monitor_config.h"
#include "console/report/error_report.h"
#include "console/series/dump_series.h"
#include "console/series/series_gate.h"

namespace {

constexpr DWORD kCounterFormat = PDH_FMT_LARGE | PDH_FMT_NOCAP100;  // 0x8400

struct PdhQueryTraits {
    using Type = PDH_HQUERY;
    static Type Invalid() { return nullptr; }
    static void Free(Type query) { PdhCloseQuery(query); }
};
// The query owns its counters: closing it frees them.
using UniquePdhQuery = UniqueResource<PdhQueryTraits>;

struct LiveCounter {
    PDH_HQUERY query;
    PDH_HCOUNTER counter;
};

bool SampleCounter(void* context, int64_t* value) {
    auto* live = static_cast<LiveCounter*>(context);
    PDH_STATUS status = PdhCollectQueryData(live->query);
    if (status != ERROR_SUCCESS) {
        ReportPdhError(L"Failed to collect query data", static_cast<uint32_t>(status));
        return false;
    }
    PDH_FMT_COUNTERVALUE formatted = {};
    status = PdhGetFormattedCounterValue(live->counter, kCounterFormat, nullptr, &formatted);
    if (status != ERROR_SUCCESS) {
        ReportPdhError(L"Failed to get formatted counter value", static_cast<uint32_t>(status));
        return false;
    }
    *value = formatted.largeValue;
    return true;
}

void RequestDump(const MonitorRun& run, const wchar_t* comment, const MetadataTrigger& trigger,
                 const void* hungWindow = nullptr) {
    DumpRequest request = DumpRequestFor(run, comment, trigger);
    // The window's thread is the one whose stack tells why it hangs.
    if (hungWindow != nullptr) {
        request.hungThreadId =
            GetWindowThreadProcessId(static_cast<HWND>(const_cast<void*>(hungWindow)), nullptr);
    }
    WriteDumpSeries(request, *run.series, SeriesDemand::kWhenArmed);
}

// A monitor that cannot go on ends the watch, and the run then ends with
// exit code 1: what was asked for is not being watched.
void EndRunFailed(const MonitorRun& run) {
    MarkMonitorFailed(*run.series);
    RaiseStop(run.stopEvent);
}

// A postmortem start exists for its one dump: ended before it (Ctrl+C,
// closing the console), it has failed, and says so.
void EndJitStartWithoutDump(const MonitorRun& run) {
    PrintWide(L"No dump was written: the run was ended before the crashed process was dumped.\n");
    EndRunFailed(run);
}

void WriteJitDumpOrFail(const MonitorRun& run) {
    if (WriteJitDump(run) == SeriesOutcome::kNotStarted) {
        EndJitStartWithoutDump(run);
        return;
    }
    RaiseStop(run.stopEvent);
}

// The performance query with its one counter and its first sample, only
// when the counter trigger is on.
bool OpenCounterQuery(const MonitorConfig& config, UniquePdhQuery* query, PDH_HCOUNTER* counter) {
    if (config.counterTrigger == 0) {
        return true;
    }
    PDH_STATUS status = PdhOpenQueryW(nullptr, 0, query->Receive());
    if (status != ERROR_SUCCESS) {
        query->Release();  // nothing was opened
        ReportPdhError(L"Failed to open query", static_cast<uint32_t>(status));
        return false;
    }
    status = PdhAddCounterW(query->Get(), config.counterPath, 0, counter);
    if (status != ERROR_SUCCESS) {
        ReportPdhError(L"Failed to add counter", static_cast<uint32_t>(status));
        return false;
    }
    status = PdhCollectQueryData(query->Get());
    if (status != ERROR_SUCCESS) {
        ReportPdhError(L"Failed to collect query data", static_cast<uint32_t>(status));
        return false;
    }
    return true;
}

PassSettings SettingsOf(const MonitorConfig& config) {
    PassSettings settings = {};
    settings.cpu.trigger = config.cpuTrigger;
    settings.cpu.threshold = config.cpuThreshold;
    settings.cpu.thresholdSeconds = config.thresholdSeconds;
    settings.cpu.singleCore = config.cpuSingleCore != 0;
    settings.cpu.processorCount = g_processWide.processorCount;
    settings.commitTrigger = config.commitTrigger;
    settings.commitThresholdMB = config.commitThresholdMB;
    settings.counterTrigger = config.counterTrigger;
    settings.counterThreshold = config.counterThreshold;
    settings.hungWindow = config.hungWindow != 0;
    settings.commandLine = ShownCommandLine();
    return settings;
}

// The watch's series are all written: the thread that wrote the last one
// ends the watch.
bool WatchOver(const MonitorRun& run) {
    if (!SeriesFinished(*run.series)) {
        return false;
    }
    RaiseStop(run.stopEvent);
    return true;
}

// Until a trigger may fire again (a series of the process being written,
// the quiet time). False when the stop signal ended the wait.
bool AwaitArmed(const MonitorRun& run) {
    for (;;) {
        const uint64_t wait = MillisecondsUntilArmed(*run.series);
        if (wait == 0) {
            return true;
        }
        if (WaitForStopLong(run.stopEvent, wait)) {
            return false;
        }
    }
}

// No trigger and no debug-event monitoring: the dump is due at once, and in
// a long watch again whenever the quiet time is over.
void WriteImmediateDumps(const MonitorRun& run) {
    wchar_t comment[kDumpCommentCapacity];
    const MetadataTrigger manual = TriggerOfKind("manual");
    while (AwaitArmed(run)) {
        FormatManualComment(comment, kDumpCommentCapacity, ShownCommandLine());
        RequestDump(run, comment, manual);
        if (WatchOver(run)) {
            return;
        }
    }
}

// The sampling thread samples the process; this thread writes what its
// triggers ask for, so that no dump holds up the sampling of the others.
void WriteSampledDumps(const MonitorRun& run, LiveCounter& counter) {
    SampledWatch watch;
    watch.run = &run;
    watch.settings = SettingsOf(*run.config);
    watch.counterContext = &counter;
    watch.sampleCounter = SampleCounter;
    // A just-in-time start's dump follows the first pass's other checks.
    watch.reportFirstPass = run.config->jitMode != 0;
    watch.handedOver.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!watch.handedOver || run.sampler == nullptr) {
        ReportWin32Error(L"Failed to create event", GetLastError());
        EndRunFailed(run);
        return;
    }
    watch.seenSeries = SeriesStartedCount(*run.series);
    run.sampler->Add(&watch);
    HANDLE waitFor[2] = {run.stopEvent, watch.handedOver.Get()};
    bool jitDue = false;
    while (WaitForMultipleObjects(2, waitFor, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        if (!watch.pending) {
            continue;
        }
        if (watch.outcome == SampledOutcome::kFirstPassDone) {
            jitDue = true;
            break;
        }
        RequestDump(run, watch.comment, watch.fired, watch.firedWindow);
        watch.pending = false;
        if (WatchOver(run)) {
            break;
        }
    }
    run.sampler->Remove(&watch);
    if (jitDue) {
        WriteJitDumpOrFail(run);
    } else if (run.config->jitMode != 0 && SummariseSeries(*run.series).seriesWritten == 0) {
        EndJitStartWithoutDump(run);
    }
}

bool SamplesTriggers(const MonitorConfig& config) {
    return config.cpuTrigger != 0 || config.commitTrigger != 0 || config.counterTrigger != 0 ||
           config.hungWindow != 0;
}

void RunCounterMonitor(const MonitorRun& run) {
    const MonitorConfig& config = *run.config;
    UniquePdhQuery query;
    LiveCounter counter = {nullptr, nullptr};
    if (!OpenCounterQuery(config, &query, &counter.counter)) {
        EndRunFailed(run);
        return;
    }
    counter.query = query.Get();
    if (StopRaised(run.stopEvent)) {
        if (config.jitMode != 0) {
            EndJitStartWithoutDump(run);
        }
        return;
    }
    if (SamplesTriggers(config)) {
        WriteSampledDumps(run, counter);
    } else if (config.jitMode != 0) {
        WriteJitDumpOrFail(run);
    } else if (config.debugThread == 0) {
        WriteImmediateDumps(run);
    } else {
        // Only the debug-event thread's triggers: nothing to sample.
        WaitForSingleObject(run.stopEvent, INFINITE);
    }
}

}  // namespace

unsigned __stdcall CounterMonitorThread(void* run) {
    RunCounterMonitor(*static_cast<const MonitorRun*>(run));
    return 0;
}
