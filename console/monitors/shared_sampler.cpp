#include "console/monitors/shared_sampler.h"

#include <process.h>

#include <algorithm>

#include "common/file_time_ticks.h"
#include "common/labelled_output.h"
#include "common/process_wide.h"
#include "common/stop_signal.h"
#include "console/monitors/process_list.h"
#include "console/monitors/system_readings.h"
#include "console/report/error_report.h"
#include "console/series/series_gate.h"

// What one pass read of the system for every watch it samples.
struct PassReadings {
    bool processorsRead;
    uint64_t processorsTotal;
    const void* list;  // null when the pass took no list
    size_t listLength;
    bool listFailed;      // a CPU trigger needed the list and it could not be read
    uint64_t sampleTime;  // system time of the list, 100 ns units
};

// What the watches of this pass need read.
struct PassNeeds {
    bool processors;
    uint32_t commitWatches;
    bool hungWindows;
    bool list;  // the processes of a name are to be told
};

namespace {

constexpr DWORD kPassMilliseconds = 1000;

struct ProbeContext {
    SampledWatch* watch;
    const PassReadings* pass;
};

ListedProcess ListedOf(const ProbeContext& context) {
    const PassReadings& pass = *context.pass;
    if (pass.list == nullptr) {
        return ListedProcess{};
    }
    return FindListedProcess(pass.list, pass.listLength, context.watch->run->config->processId);
}

// Where the platform keeps another process's times frozen, its threads'
// times are summed besides, for a list that tells no total for it.
bool ProcessCpuTotal(const ProbeContext& context, uint64_t* total) {
    SampledWatch& watch = *context.watch;
    const ListedProcess listed = ListedOf(context);
    if (g_processWide.foreignProcessTimesFrozen) {
        watch.readings.clear();
        if (listed.found) {
            ReadListedThreads(listed, watch.readings);
        }
        // A process gone from the list has no threads.
        const uint64_t threadTotal =
            AddThreadSample(watch.ledger, watch.readings, context.pass->sampleTime);
        *total = listed.found && listed.cpuTime != 0 ? listed.cpuTime : threadTotal;
        return true;
    }
    if (listed.found) {
        *total = listed.cpuTime;
        return true;
    }
    const LONG status = QueryProcessCpuTime(watch.run->config->process, total);
    if (status < 0) {
        ReportNtStatus(L"Failed to query process times", status);
        return false;
    }
    return true;
}

bool SampleCpu(void* context, CpuSample* sample) {
    const auto& probe = *static_cast<const ProbeContext*>(context);
    const PassReadings& pass = *probe.pass;
    // A failed system query has been reported once for every process.
    if (!pass.processorsRead || pass.listFailed) {
        return false;
    }
    if (!ProcessCpuTotal(probe, &sample->processTotal)) {
        return false;
    }
    sample->systemTotal = pass.processorsTotal;
    return true;
}

bool SampleCommit(void* context, uint64_t* privateBytes) {
    const auto& probe = *static_cast<const ProbeContext*>(context);
    const ListedProcess listed = ListedOf(probe);
    if (listed.found) {
        *privateBytes = listed.commitBytes;
        return true;
    }
    const LONG status = QueryProcessCommit(probe.watch->run->config->process, privateBytes);
    if (status < 0) {
        ReportNtStatus(L"Failed to query virtual memory counters", status);
        return false;
    }
    return true;
}

bool SampleCounter(void* context, int64_t* value) {
    SampledWatch& watch = *static_cast<const ProbeContext*>(context)->watch;
    return watch.sampleCounter(watch.counterContext, value);
}

const void* HungWindowOf(void* context) {
    return static_cast<const ProbeContext*>(context)->watch->hungWindow;
}

void PrintLine(void* context, const wchar_t* text) {
    const auto& probe = *static_cast<const ProbeContext*>(context);
    PrintLabelled(probe.watch->run->lineLabel, L"%s", text);
}

// After a pass, or after the dump a pass handed over: once a series of
// either of the process's threads has started, every trigger of the process
// starts from zero, and the watch is re-armed. A series started during the
// second before a pass is noticed after that pass, as one thread sampling
// the process by itself would: the pass still runs, and a trigger it fires
// is dropped by the gate.
void NoteSeries(SampledWatch& watch) {
    const uint32_t count = SeriesStartedCount(*watch.run->series);
    if (count != watch.seenSeries) {
        watch.seenSeries = count;
        watch.state = {};
        watch.rearming = true;
    }
}

// A watch being re-armed is not sampled while a series of the process is
// being written or the quiet time lasts. A dump the gate dropped for the
// quiet time of another process's series (-all -q) re-arms the watch too,
// its triggers where they stood.
bool Armed(SampledWatch& watch) {
    WatchSeries& series = *watch.run->series;
    if (watch.afterHandOver) {
        watch.afterHandOver = false;
        NoteSeries(watch);
        watch.rearming = watch.rearming || MillisecondsUntilArmed(series) != 0;
    }
    if (watch.rearming && MillisecondsUntilArmed(series) != 0) {
        return false;
    }
    watch.rearming = false;
    return true;
}

// A watch whose query failed ends, and the run with exit code 1: what was
// asked for is not being watched.
void EndWatchFailed(SampledWatch& watch) {
    watch.failed = true;
    MarkMonitorFailed(*watch.run->series);
    RaiseStop(watch.run->stopEvent);
}

void HandOver(SampledWatch& watch, SampledOutcome outcome) {
    watch.outcome = outcome;
    if (outcome == SampledOutcome::kDump) {
        watch.fired = watch.state.fired;
        watch.firedWindow = watch.state.hungWindow;
    }
    watch.afterHandOver = true;
    watch.pending = true;
    SetEvent(watch.handedOver.Get());
}

}  // namespace

SharedSampler::SharedSampler() = default;

SharedSampler::~SharedSampler() {
    Stop();
}

void SharedSampler::TellProcessesNamed(const wchar_t* name) {
    name_ = name;
}

bool SharedSampler::TakeProcessesNamed(std::vector<uint32_t>& ids) {
    AcquireSRWLockExclusive(&namedLock_);
    const bool fresh = namedFresh_;
    if (fresh) {
        ids = named_;
        namedFresh_ = false;
    }
    ReleaseSRWLockExclusive(&namedLock_);
    return fresh;
}

bool SharedSampler::Start() {
    stop_.Reset(CreateStopSignal());
    wake_.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    told_.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!stop_ || !wake_ || !told_) {
        return false;
    }
    thread_.Reset(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ThreadProc, this, 0, nullptr)));
    return thread_.IsValid();
}

void SharedSampler::Stop() {
    if (thread_) {
        RaiseStop(stop_.Get());
        WaitForSingleObject(thread_.Get(), INFINITE);
        thread_.Reset();
    }
}

void SharedSampler::Add(SampledWatch* watch) {
    AcquireSRWLockExclusive(&lock_);
    watches_.push_back(watch);
    ReleaseSRWLockExclusive(&lock_);
    SetEvent(wake_.Get());
}

void SharedSampler::Remove(SampledWatch* watch) {
    AcquireSRWLockExclusive(&lock_);
    watches_.erase(std::remove(watches_.begin(), watches_.end(), watch), watches_.end());
    ReleaseSRWLockExclusive(&lock_);
}

unsigned __stdcall SharedSampler::ThreadProc(void* self) {
    static_cast<SharedSampler*>(self)->Run();
    return 0;
}

// A pass a second, each second counted from the end of the one before, as
// the CPU trigger's consecutive seconds are; a watch added meanwhile gets
// its first pass at once, without an extra pass for the others.
void SharedSampler::Run() {
    HANDLE waitFor[2] = {stop_.Get(), wake_.Get()};
    ULONGLONG nextPass = GetTickCount64();
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD wait = now >= nextPass ? 0 : static_cast<DWORD>(nextPass - now);
        const DWORD woken = WaitForMultipleObjects(2, waitFor, FALSE, wait);
        if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED) {
            return;
        }
        if (woken == WAIT_OBJECT_0 + 1) {
            Pass(true);
            continue;
        }
        Pass(false);
        nextPass = GetTickCount64() + kPassMilliseconds;
    }
}

void SharedSampler::Pass(bool onlyNew) {
    AcquireSRWLockExclusive(&lock_);
    PassNeeds needs = CollectDue(onlyNew);
    needs.list = name_ != nullptr && !onlyNew;
    if (!due_.empty() || needs.list) {
        SYSTEMTIME now = {};
        GetLocalTime(&now);
        const PassClock clock = {now.wHour, now.wMinute, now.wSecond};
        const PassReadings readings = ReadSystem(needs);
        if (needs.list) {
            TellNamed(readings);
        }
        if (needs.hungWindows) {
            FindHungWindowsOfDue();
        }
        for (SampledWatch* watch : due_) {
            RunTriggers(*watch, readings, clock);
        }
    }
    ReleaseSRWLockExclusive(&lock_);
}

void SharedSampler::TellNamed(const PassReadings& readings) {
    if (readings.list == nullptr) {
        return;  // the list could not be read: the run looks again after the next pass
    }
    AcquireSRWLockExclusive(&namedLock_);
    named_.clear();
    ListedProcessesNamed(readings.list, readings.listLength, name_, named_);
    namedFresh_ = true;
    ReleaseSRWLockExclusive(&namedLock_);
    SetEvent(told_.Get());
}

PassNeeds SharedSampler::CollectDue(bool onlyNew) {
    due_.clear();
    PassNeeds needs = {};
    for (SampledWatch* watch : watches_) {
        if (watch->failed || watch->pending || (onlyNew && watch->sampled) || !Armed(*watch)) {
            continue;
        }
        due_.push_back(watch);
        const PassSettings& settings = watch->settings;
        needs.processors = needs.processors || settings.cpu.trigger != 0;
        needs.commitWatches += settings.commitTrigger != 0 ? 1 : 0;
        needs.hungWindows = needs.hungWindows || settings.hungWindow;
    }
    return needs;
}

PassReadings SharedSampler::ReadSystem(const PassNeeds& needs) {
    PassReadings readings = {};
    if (needs.processors) {
        LONG status = 0;
        readings.processorsRead =
            QueryProcessorsTotal(processors_, &readings.processorsTotal, &status);
        if (!readings.processorsRead && status < 0) {
            ReportNtStatus(L"Failed to query processor performance", status);
        }
    }
    // Under Wine the list costs more than one process's own counters (it
    // reads every thread of every process): for a lone process's commit it
    // is not taken.
    if (!readings.processorsRead && needs.commitWatches < 2 && !needs.list) {
        return readings;
    }
    FILETIME listed = {};
    GetSystemTimeAsFileTime(&listed);
    readings.sampleTime = FileTimeTicks(listed);
    ULONG length = 0;
    const LONG status = QueryProcessList(list_, &length);
    if (status >= 0) {
        readings.list = list_.data();
        readings.listLength = length;
    } else if (readings.processorsRead && g_processWide.foreignProcessTimesFrozen) {
        // Elsewhere each process's own times are read instead.
        readings.listFailed = true;
        ReportNtStatus(L"Failed to query process times", status);
    }
    return readings;
}

void SharedSampler::FindHungWindowsOfDue() {
    hungSearches_.clear();
    for (SampledWatch* watch : due_) {
        if (watch->settings.hungWindow) {
            hungSearches_.push_back({watch->run->config->processId, nullptr});
        }
    }
    FindHungWindows(hungSearches_.data(), hungSearches_.size());
    size_t next = 0;
    for (SampledWatch* watch : due_) {
        if (watch->settings.hungWindow) {
            watch->hungWindow = hungSearches_[next++].window;
        }
    }
}

void SharedSampler::RunTriggers(SampledWatch& watch, const PassReadings& readings,
                                const PassClock& clock) {
    ProbeContext context = {&watch, &readings};
    const PassProbes probes = {&context,      SampleCpu,    SampleCommit,
                               SampleCounter, HungWindowOf, PrintLine};
    const PassOutcome outcome = RunSamplingPass(watch.settings, watch.state, probes, clock,
                                                watch.comment, kDumpCommentCapacity);
    watch.sampled = true;
    if (outcome == PassOutcome::kFailed) {
        EndWatchFailed(watch);
    } else if (outcome == PassOutcome::kDump) {
        HandOver(watch, SampledOutcome::kDump);
    } else if (watch.reportFirstPass) {
        watch.reportFirstPass = false;
        HandOver(watch, SampledOutcome::kFirstPassDone);
    } else {
        NoteSeries(watch);
    }
}
