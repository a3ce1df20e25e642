#include "console/monitors/counter_monitor.h"

#include <windows.h>
#include <pdh.h>

#include <cstdint>

#include "common/console_output.h"
#include "common/process_wide.h"
#include "common/shown_command_line.h"
#include "common/stop_signal.h"
#include "common/unique_resource.h"
#include "console/monitors/cpu_share.h"
#include "console/monitors/hung_window.h"
#include "console/monitors/jit_dump.h"
#include "console/monitors/monitor_run.h"
#include "console/monitors/monitor_texts.h"
#include "console/monitors/sampling_pass.h"
#include "console/monitors/thread_cpu_times.h"
#include "console/options/monitor_config.h"
#include "console/report/error_report.h"
#include "console/series/dump_series.h"
#include "console/series/series_gate.h"

namespace {

constexpr ULONG kSystemProcessorPerformanceInformation = 8;
constexpr ULONG kProcessVmCounters = 3;
constexpr ULONG kProcessTimes = 4;
constexpr DWORD kCounterFormat = PDH_FMT_LARGE | PDH_FMT_NOCAP100;  // 0x8400

struct ProcessorPerformance {
    LARGE_INTEGER idleTime;
    LARGE_INTEGER kernelTime;  // includes the idle time
    LARGE_INTEGER userTime;
    LARGE_INTEGER dpcTime;
    LARGE_INTEGER interruptTime;
    ULONG interruptCount;
};
static_assert(sizeof(ProcessorPerformance) == 48, "48 bytes per processor in both builds");

struct KernelUserTimes {
    LARGE_INTEGER createTime;
    LARGE_INTEGER exitTime;
    LARGE_INTEGER kernelTime;
    LARGE_INTEGER userTime;
};
static_assert(sizeof(KernelUserTimes) == 32, "32 bytes in both builds");

struct VmCountersEx {
    SIZE_T peakVirtualSize;
    SIZE_T virtualSize;
    ULONG pageFaultCount;
    SIZE_T peakWorkingSetSize;
    SIZE_T workingSetSize;
    SIZE_T quotaPeakPagedPoolUsage;
    SIZE_T quotaPagedPoolUsage;
    SIZE_T quotaPeakNonPagedPoolUsage;
    SIZE_T quotaNonPagedPoolUsage;
    SIZE_T pagefileUsage;
    SIZE_T peakPagefileUsage;
    SIZE_T privateUsage;
};
static_assert(sizeof(VmCountersEx) == 12 * sizeof(SIZE_T), "96 bytes (64-bit) or 48 (32-bit)");

struct PdhQueryTraits {
    using Type = PDH_HQUERY;
    static Type Invalid() { return nullptr; }
    static void Free(Type query) { PdhCloseQuery(query); }
};
// The query owns its counters: closing it frees them.
using UniquePdhQuery = UniqueResource<PdhQueryTraits>;

// What the live probes read from.
struct LiveSources {
    const MonitorConfig* config;
    ProcessorPerformance* processors;
    uint32_t processorCount;
    PDH_HQUERY query;
    PDH_HCOUNTER counter;
    ThreadCpuTimes* threadTimes;  // only where the process times of the target stay frozen
};

// The target's kernel plus user time, from its threads where its process
// times do not move.
bool SampleProcessTotal(LiveSources* sources, uint64_t* total) {
    LONG status;
    if (sources->threadTimes != nullptr) {
        status = SampleThreadCpuTotal(*sources->threadTimes, sources->config->processId, total);
    } else {
        KernelUserTimes times = {};
        ULONG returned = 0;
        status = g_processWide.ntQueryInformationProcess(sources->config->process, kProcessTimes,
                                                         &times, sizeof(times), &returned);
        if (status >= 0) {
            *total = static_cast<uint64_t>(times.kernelTime.QuadPart) +
                     static_cast<uint64_t>(times.userTime.QuadPart);
        }
    }
    if (status < 0) {
        ReportNtStatus(L"Failed to query process times", status);
        return false;
    }
    return true;
}

bool SampleCpu(void* context, CpuSample* sample) {
    auto* sources = static_cast<LiveSources*>(context);
    const ULONG size = sources->processorCount * sizeof(ProcessorPerformance);
    ULONG returned = 0;
    LONG status = g_processWide.ntQuerySystemInformation(kSystemProcessorPerformanceInformation,
                                                         sources->processors, size, &returned);
    if (status < 0) {
        ReportNtStatus(L"Failed to query processor performance", status);
        return false;
    }
    uint64_t systemTotal = 0;
    for (uint32_t i = 0; i < sources->processorCount; ++i) {
        systemTotal += static_cast<uint64_t>(sources->processors[i].kernelTime.QuadPart) +
                       static_cast<uint64_t>(sources->processors[i].userTime.QuadPart);
    }
    if (!SampleProcessTotal(sources, &sample->processTotal)) {
        return false;
    }
    sample->systemTotal = systemTotal;
    return true;
}

bool SampleCommit(void* context, uint64_t* privateBytes) {
    auto* sources = static_cast<LiveSources*>(context);
    VmCountersEx counters = {};
    ULONG returned = 0;
    LONG status = g_processWide.ntQueryInformationProcess(
        sources->config->process, kProcessVmCounters, &counters, sizeof(counters), &returned);
    if (status < 0) {
        ReportNtStatus(L"Failed to query virtual memory counters", status);
        return false;
    }
    *privateBytes = counters.privateUsage;
    return true;
}

bool SampleCounter(void* context, int64_t* value) {
    auto* sources = static_cast<LiveSources*>(context);
    PDH_STATUS status = PdhCollectQueryData(sources->query);
    if (status != ERROR_SUCCESS) {
        ReportPdhError(L"Failed to collect query data", static_cast<uint32_t>(status));
        return false;
    }
    PDH_FMT_COUNTERVALUE formatted = {};
    status = PdhGetFormattedCounterValue(sources->counter, kCounterFormat, nullptr, &formatted);
    if (status != ERROR_SUCCESS) {
        ReportPdhError(L"Failed to get formatted counter value", static_cast<uint32_t>(status));
        return false;
    }
    *value = formatted.largeValue;
    return true;
}

const void* FindTargetHungWindow(void* context) {
    auto* sources = static_cast<LiveSources*>(context);
    return FindHungWindow(sources->config->processId);
}

void PrintLine(void*, const wchar_t* text) {
    PrintWide(L"%s", text);
}

void RequestDump(const MonitorRun& run, const wchar_t* comment, const MetadataTrigger& trigger,
                 const void* hungWindow = nullptr) {
    DumpRequest request = DumpRequestFor(*run.config, comment, trigger);
    // The window's thread is the one whose stack tells why it hangs.
    if (hungWindow != nullptr) {
        request.hungThreadId =
            GetWindowThreadProcessId(static_cast<HWND>(const_cast<void*>(hungWindow)), nullptr);
    }
    WriteDumpSeries(request, *run.series, SeriesDemand::kWhenArmed);
}

// A monitor that cannot go on ends the run, and the run then ends with exit
// code 1: what was asked for is not being watched.
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
    if (WriteJitDump(*run.config, *run.series) == SeriesOutcome::kNotStarted) {
        EndJitStartWithoutDump(run);
        return;
    }
    RaiseStop(run.stopEvent);
}

// The processor buffer, allocated only when the CPU trigger is on.
bool AllocateProcessorBuffer(const MonitorConfig& config, UniqueHeapMemory* buffer) {
    if (config.cpuTrigger == 0) {
        return true;
    }
    const SIZE_T size =
        static_cast<SIZE_T>(g_processWide.processorCount) * sizeof(ProcessorPerformance);
    buffer->Reset(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
    if (!buffer->IsValid()) {
        // HeapAlloc does not always set the last error.
        const DWORD error = GetLastError();
        ReportWin32Error(L"Failed to allocate memory",
                         error != 0 ? error : ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    return true;
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

// Whether the thread samples once a second; otherwise it writes the
// immediate dump.
bool KeepsSampling(const MonitorConfig& config) {
    return config.cpuTrigger != 0 || config.commitTrigger != 0 || config.counterTrigger != 0 ||
           config.hungWindow != 0 || config.debugThread != 0;
}

// The run's watch is over once its series are all written: the thread that
// wrote the last one ends the run.
bool WatchOver(const MonitorRun& run) {
    if (!SeriesFinished(*run.series)) {
        return false;
    }
    RaiseStop(run.stopEvent);
    return true;
}

// After a series of either thread, every trigger starts from zero once that
// series has ended and the quiet time has passed. False when the stop signal
// ended the wait.
bool ArmAgain(const MonitorRun& run, PassState& state, uint32_t& seenSeries) {
    const uint32_t count = SeriesStartedCount(*run.series);
    if (count == seenSeries) {
        return true;
    }
    seenSeries = count;
    state = {};
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

// A thread that ends by itself ends the whole run.
void RunPasses(const MonitorRun& run, LiveSources& sources) {
    const MonitorConfig& config = *run.config;
    const PassSettings settings = SettingsOf(config);
    PassState state = {};
    uint32_t seenSeries = SeriesStartedCount(*run.series);
    const PassProbes probes = {
        &sources, SampleCpu, SampleCommit, SampleCounter, FindTargetHungWindow, PrintLine};
    wchar_t comment[kDumpCommentCapacity];
    for (;;) {
        SYSTEMTIME now = {};
        GetLocalTime(&now);
        const PassClock clock = {now.wHour, now.wMinute, now.wSecond};
        const PassOutcome outcome =
            RunSamplingPass(settings, state, probes, clock, comment, kDumpCommentCapacity);
        if (outcome == PassOutcome::kFailed) {
            EndRunFailed(run);
            return;
        }
        if (outcome == PassOutcome::kDump) {
            RequestDump(run, comment, state.fired, state.hungWindow);
            if (WatchOver(run)) {
                return;
            }
        } else if (config.jitMode != 0) {
            WriteJitDumpOrFail(run);
            return;
        } else if (!KeepsSampling(config)) {
            FormatManualComment(comment, kDumpCommentCapacity, settings.commandLine);
            RequestDump(run, comment, TriggerOfKind("manual"));
            if (WatchOver(run) || !ArmAgain(run, state, seenSeries)) {
                return;
            }
            continue;  // the next immediate dump is due once the quiet time is over
        }
        if (!ArmAgain(run, state, seenSeries) || WaitForStop(run.stopEvent, 1000)) {
            return;
        }
    }
}

void RunCounterMonitor(const MonitorRun& run) {
    const MonitorConfig& config = *run.config;
    UniqueHeapMemory processorBuffer;
    if (!AllocateProcessorBuffer(config, &processorBuffer)) {
        EndRunFailed(run);
        return;
    }
    UniquePdhQuery query;
    PDH_HCOUNTER counter = nullptr;
    if (!OpenCounterQuery(config, &query, &counter)) {
        EndRunFailed(run);
        return;
    }
    if (StopRaised(run.stopEvent)) {
        if (config.jitMode != 0) {
            EndJitStartWithoutDump(run);
        }
        return;
    }
    ThreadCpuTimes threadTimes;
    const bool fromThreads = config.cpuTrigger != 0 && g_processWide.foreignProcessTimesFrozen;
    LiveSources sources = {&config,
                           static_cast<ProcessorPerformance*>(processorBuffer.Get()),
                           g_processWide.processorCount,
                           query.Get(),
                           counter,
                           fromThreads ? &threadTimes : nullptr};
    RunPasses(run, sources);
}

}  // namespace

unsigned __stdcall CounterMonitorThread(void* run) {
    RunCounterMonitor(*static_cast<const MonitorRun*>(run));
    return 0;
}
