// Everything the entry owns for a whole run.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "common/unique_resource.h"
#include "console/monitors/shared_sampler.h"
#include "console/options/monitor_config.h"
#include "console/options/option_scan.h"
#include "console/report/event_log.h"
#include "console/run/acquisition.h"
#include "console/run/next_process.h"
#include "console/run/process_watch.h"
#include "console/run/watch_set.h"
#include "console/run/watch_summary.h"
#include "console/series/series_reports.h"
#include "console/series/shared_series_state.h"
#include "console/series/watch_series.h"
#include "console/upload/upload_attempt.h"
#include "console/upload/upload_queue.h"

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

// The exit code when the run ends at a step, nothing when it goes on.
using StepEnd = std::optional<int>;
constexpr StepEnd kRunGoesOn = std::nullopt;

// -upload: the session with the crash server and the queue the series hand
// their dumps to.
struct RunUploads {
    Uploader uploader;
    std::unique_ptr<UploadQueue> queue;  // null without -upload
};

// -all: a process of the name that has been decided about (watched, passed
// over) and is still running. While the run holds a handle to it its
// identifier cannot be given to another process.
struct SeenProcess {
    uint32_t id;
    UniqueHandle handle;  // null when not even a limited handle could be had
};

// The monitor threads of each watch read their watch (process_watch.h),
// which points at the shared objects here; this lives until the entry
// returns, and beyond when a thread is still running then.
struct RunState {
    ScannedOptions options;
    AcquiredTarget target;  // the first process
    // The dump folder's series state, for every process watched.
    SharedSeriesState series;
    // -a over the processes a followed name brings one after the other (and
    // over the one process of every other run); with -all each process has
    // a budget of its own.
    SeriesBudget budget;
    SeriesReports reports;  // the run's part of every watch's reports
    EventLog log;           // -log; writes nothing when not opened
    // Raised by Ctrl+C, and nothing else; never reset.
    UniqueHandle stopSignal;
    // Raised by a watch's supervisor when the watch has ended.
    UniqueHandle watchEnded;
    SharedSampler sampler;  // started when a trigger of the run samples
    // The first process's watch from its opening until it is started.
    std::unique_ptr<ProcessWatch> first;
    WatchSet watches;
    bool handedOver;  // this is the 64-bit build, started by the 32-bit build's hand-over
    bool jitFolder;   // a just-in-time start into a dump folder
    // -all with a dump folder or no dump path: each process gets a path of
    // its own, in dumpFolder (empty: the default path of each).
    bool pathPerProcess;
    wchar_t dumpFolder[MAX_PATH];
    // A monitor thread was still running when the run ended (stuck in a
    // system call): nothing it may read is freed.
    bool threadLeftRunning;
    std::vector<WatchedProcess> watched;  // every process a followed name has brought, in order
    // Processes of the name passed over when following (they could not be
    // opened): never tried again.
    std::vector<WatchedProcess> passedOver;
    std::vector<SeenProcess> seen;      // -all
    std::vector<uint32_t> listedIds;    // -all: the processes of the name last listed
    std::vector<uint64_t> processList;  // -all without sampling: the list read for them
    std::vector<ProcessDumps> records;  // -all: every process watched, in order
    // Last, so that it goes first: its sending thread may still read the log.
    RunUploads uploads;
};
