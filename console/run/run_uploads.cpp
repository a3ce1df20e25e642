#include "console/run/run_uploads.h"

#include <new>

#include "common/console_output.h"
#include "common/http_url.h"
#include "common/stop_signal.h"
#include "console/report/error_report.h"
#include "console/run/ctrl_handler.h"
#include "console/upload/send_scan.h"

namespace {

bool OpenUploader(RunState& run) {
    HttpUrl url;
    // The scan has checked the URL.
    ParseHttpUrl(run.options.settings.uploadUrl, &url);
    DWORD error = 0;
    if (!run.uploads.uploader.Open(url, &error)) {
        ReportWin32Error(L"Failed to open an HTTP session", error);
        return false;
    }
    return true;
}

bool StartQueue(UploadQueue& queue) {
    if (!queue.Start()) {
        ReportWin32Error(L"Failed to start the upload thread", GetLastError());
        return false;
    }
    return true;
}

// The system holds the crashed process until the debugger it started sets
// the event whose handle value came with -j (or ends). The dump is written:
// the process may end while the dump is on its way.
void ReleaseCrashedProcess(uint32_t jitEvent) {
    SetEvent(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(jitEvent)));
}

bool PostmortemStart(const RunState& run) {
    return run.options.settings.jitMode != 0;
}

}  // namespace

StepEnd RunSendOnly(RunState& run) {
    if (run.options.sendPath == nullptr) {
        return kRunGoesOn;
    }
    if (!OpenUploader(run)) {
        return kExitFailure;
    }
    // The stop signal is raised by Ctrl+C only.
    return static_cast<int>(SendQueuedDumps(&run.uploads.uploader, run.options.sendPath, &run.log,
                                            run.stopSignal.Get()));
}

bool PrepareUploads(RunState& run) {
    if (run.options.settings.uploadUrl == nullptr) {
        return true;
    }
    if (!OpenUploader(run)) {
        return false;
    }
    Uploader& uploader = run.uploads.uploader;
    run.uploads.queue.reset(new (std::nothrow) UploadQueue(
        [&uploader](UploadItem& item, HANDLE abort) { return uploader.Upload(item, abort); },
        uploader.shownUrl(), &run.log));
    UploadQueue* queue = run.uploads.queue.get();
    if (queue == nullptr) {
        ReportWin32Error(L"Failed to allocate memory", ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    SeriesReports& reports = run.reports;
    reports.dumpReady = [queue](const ReadyDump& dump) {
        UploadItem item;
        item.dumpPath = dump.path;
        item.origin = {dump.triggerKind, std::wstring(), dump.processMilliseconds, dump.signature};
        item.oursOnly = true;
        queue->Add(std::move(item));
    };
    reports.dumpDeletedUnsent = [queue](const std::wstring& path) { queue->Withdraw(path); };
    return PostmortemStart(run) || StartQueue(*queue);
}

int FinishUploads(RunState& run, int exitCode) {
    UploadQueue* queue = run.uploads.queue.get();
    if (queue == nullptr) {
        return exitCode;
    }
    DWORD bound = kUploadWaitAtEndMs;
    if (PostmortemStart(run)) {
        ReleaseCrashedProcess(run.options.settings.jitEvent);
        bound = kUploadWaitAfterPostmortemMs;
        if (!StartQueue(*queue)) {
            return kExitFailure;
        }
    } else if (queue->PendingCount() != 0) {
        PrintWide(L"Waiting up to %u s for the uploads still pending (Ctrl+C ends the wait).\n",
                  static_cast<unsigned>(bound / 1000));
    }
    // A Ctrl+C may have ended the watch already: the wait needs one of its own.
    UniqueHandle cancel(CreateStopSignal());
    AlsoRaiseOnCtrlC(cancel.Get());
    const size_t notAccepted = queue->Finish(bound, cancel ? cancel.Get() : run.stopSignal.Get());
    AlsoRaiseOnCtrlC(nullptr);
    return notAccepted != 0 ? kExitFailure : exitCode;
}
