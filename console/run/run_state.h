// Everything the entry owns for a whole run.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "common/unique_resource.h"
#include "console/monitors/monitor_run.h"
#include "console/options/monitor_config.h"
#include "console/options/option_scan.h"
#include "console/report/event_log.h"
#include "console/run/acquisition.h"
#include "console/run/launch.h"
#include "console/series/shared_series_state.h"
#include "console/upload/upload_attempt.h"
#include "console/upload/upload_queue.h"

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

// The exit code when the run ends at a step, nothing when it goes on.
using StepEnd = std::optional<int>;
constexpr StepEnd kRunGoesOn = std::nullopt;

// A process that was watched: an identifier together with its creation
// time, since an identifier can be given to a new process once the old one
// has ended.
struct WatchedProcess {
    uint32_t id;
    uint64_t created;
};

// -upload: the session with the crash server and the queue the series hand
// their dumps to.
struct RunUploads {
    Uploader uploader;
    std::unique_ptr<UploadQueue> queue;  // null without -upload
};

// The monitor threads read `monitorRun`, which points at `config` and the
// shared objects; this lives until the entry returns, and beyond when a
// thread is still running then.
struct RunState {
    ScannedOptions options;
    AcquiredTarget target;
    MonitorConfig config;
    SharedSeriesState series;
    EventLog log;  // -log; writes nothing when not opened
    // Raised by Ctrl+C, and nothing else; never reset.
    UniqueHandle stopSignal;
    // What the monitor threads of the process being watched wait on: raised
    // when that process's watch ends (its exit, Ctrl+C, a thread that ends
    // it). Each process followed gets a new one.
    UniqueHandle watchStop;
    MonitorRun monitorRun;
    UniqueHandle process;
    DebugThreadLaunch debugLaunch;
    UniqueHandle debugThread;
    UniqueHandle counterThread;
    bool handedOver;  // this is the 64-bit build, started by the 32-bit build's hand-over
    bool jitFolder;   // a just-in-time start into a dump folder
    // A monitor thread was still running when the run ended (stuck in a
    // system call): nothing it may read is freed.
    bool threadLeftRunning;
    std::vector<WatchedProcess> watched;  // every process the run has watched, in order
    // Processes of the name passed over when following (they could not be
    // opened): never tried again.
    std::vector<WatchedProcess> passedOver;
    // Last, so that it goes first: its sending thread may still read the log.
    RunUploads uploads;
};
