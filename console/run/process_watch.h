// One watched process: everything its watch owns from the moment it is
// picked up to its end (its handle, its monitor threads and their record,
// its stop signal, its series), and the one way such a watch is filled,
// started and supervised. A run holds a set of them (watch_set.h): one at
// a time, or with -all one for each process of the name.
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/unique_resource.h"
#include "console/monitors/monitor_run.h"
#include "console/options/monitor_config.h"
#include "console/report/event_log.h"
#include "console/run/launch.h"
#include "console/run/next_process.h"
#include "console/series/watch_series.h"

constexpr size_t kLineLabelCapacity = MAX_PATH + 16;  // "<name> (<pid>)"

struct ProcessWatch {
    // runBudget: the run's one -a budget, shared by the processes a name
    // brings one after the other; null gives the process a budget of its own.
    ProcessWatch(SharedSeriesState& shared, SeriesBudget* runBudget, uint32_t seriesLimit);
    ~ProcessWatch();
    ProcessWatch(const ProcessWatch&) = delete;
    ProcessWatch& operator=(const ProcessWatch&) = delete;

    WatchedProcess identity = {};
    UniqueHandle process;
    wchar_t name[MAX_PATH] = {};
    wchar_t label[kLineLabelCapacity] = {};  // empty unless the run watches every instance
    wchar_t dumpPath[MAX_PATH] = {};
    MonitorConfig config = {};
    UniqueHandle stop;  // raised when this watch ends: its exit, Ctrl+C, a thread that ends it
    SeriesBudget ownBudget;
    WatchSeries series;
    MonitorRun monitorRun = {};
    DebugThreadLaunch debugLaunch;  // -x with debug-event monitoring (the first watch only)
    UniqueHandle debugThread;
    UniqueHandle counterThread;
    UniqueHandle supervisor;

    // What the supervisor needs of the run; set by FillWatch.
    HANDLE runStop = nullptr;   // Ctrl+C
    HANDLE runWoken = nullptr;  // raised when the watch has ended
    EventLog* log = nullptr;

    bool startFailed = false;        // a monitor thread could not be started
    bool threadLeftRunning = false;  // a thread outlived the grace: nothing it reads may go
};

// What every watch of a run is filled from.
struct WatchFilling {
    const MonitorConfig* settings;  // the scanned settings, dump type completed
    SeriesReports reports;          // the run's part of every watch's reports
    SharedSampler* sampler;         // null when no trigger of the run samples
    EventLog* log;
    HANDLE runStop;
    HANDLE runWoken;
    bool handedOver;
    bool labelled;        // -all: every line names its process
    bool pathPerProcess;  // each process has a dump path of its own (not one for all)
};

// Fills the watch of a process that is open (watch.process) from the run:
// its record, its series, its reports and its stop signal. `name` is the
// image name as the run shows it, `dumpPath` the process's dump path. False,
// reported, when the system had no event to give.
bool FillWatch(ProcessWatch& watch, const WatchFilling& filling, uint32_t processId,
               const wchar_t* name, const wchar_t* dumpPath);

// Starts the monitor threads of a filled watch and its supervisor, which
// waits until the watch ends (its threads end, the process exits, Ctrl+C,
// its stop signal), gives the threads their grace, logs the process's exit
// and raises runWoken. False when a thread could not be started
// (startFailed); nothing of the watch runs then.
bool StartWatch(ProcessWatch& watch);

// Whether the watch's supervisor has ended.
bool WatchEnded(const ProcessWatch& watch);
