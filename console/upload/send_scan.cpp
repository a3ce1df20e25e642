#include "console/upload/send_scan.h"

#include <algorithm>
#include <memory>
#include <new>

#include "common/console_output.h"
#include "common/file_time_ticks.h"
#include "common/unique_resource.h"
#include "console/dumpwriter/dump_check.h"
#include "console/report/error_report.h"
#include "console/dumpfolder/dump_deletion.h"
#include "console/dumpfolder/sent_record.h"
#include "console/upload/upload_reports.h"

namespace {

uint64_t FileBytes(DWORD high, DWORD low) {
    return (uint64_t{high} << 32) | low;
}

// A complete minidump that no dump writer holds open and that has no record
// of ours (a file of that name that is not ours is reported when it is sent).
void ConsiderFile(const std::wstring& path, uint64_t lastWrite, uint64_t bytes,
                  std::vector<QueuedDump>* dumps) {
    const std::wstring deleting = kDeletingSuffix;
    const bool beingDeleted =
        path.size() > deleting.size() &&
        _wcsicmp(path.c_str() + path.size() - deleting.size(), deleting.c_str()) == 0;
    if (!beingDeleted && SentRecordStateOf(path.c_str()) != SentRecordState::kOurs &&
        DumpFileAtIsComplete(path.c_str())) {
        dumps->push_back({path, lastWrite, bytes});
    }
}

void ScanFolder(const std::wstring& folder, SendScan* scan) {
    WIN32_FIND_DATAW found = {};
    UniqueFind find(FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0));
    if (!find) {
        // Only a drive's empty root has not even "." to list.
        if (GetLastError() != ERROR_FILE_NOT_FOUND) {
            scan->unread.push_back({folder, GetLastError()});
        }
        return;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        const std::wstring path = folder + L"\\" + name;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            continue;  // a link may lead back up the tree
        }
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            ScanFolder(path, scan);
        } else {
            ConsiderFile(path, FileTimeTicks(found.ftLastWriteTime),
                         FileBytes(found.nFileSizeHigh, found.nFileSizeLow), &scan->dumps);
        }
    } while (FindNextFileW(find.Get(), &found));
    if (GetLastError() != ERROR_NO_MORE_FILES) {
        scan->unread.push_back({folder, GetLastError()});
    }
}

std::wstring WithoutTrailingSeparators(const wchar_t* path) {
    std::wstring text = path;
    // "C:\" keeps its separator; "C:\dumps\" loses it.
    while (text.size() > 3 && (text.back() == L'\\' || text.back() == L'/')) {
        text.pop_back();
    }
    return text;
}

bool Cancelled(HANDLE cancel) {
    return cancel != nullptr && WaitForSingleObject(cancel, 0) == WAIT_OBJECT_0;
}

// One dump, tried again after passing failures while its deadline allows.
// Its time starts now, whenever its body was made.
UploadOutcome SendWithRetries(Uploader* uploader, const QueuedDump& dump, UploadItem& item,
                              EventLog* log, HANDLE cancel, const RandomUpTo& random) {
    const UploadLimits& limits = uploader->limits();
    item.deadlineTick = GetTickCount64() + UploadDeadlineMs(limits, dump.bytes);
    for (uint32_t failures = 1;; ++failures) {
        UploadOutcome outcome = uploader->Upload(item, cancel);
        if (outcome.verdict != UploadVerdict::kRetry || Cancelled(cancel)) {
            return outcome;
        }
        const uint64_t wait =
            RetryDelayMs(limits.retry, failures, outcome.retryAfterSeconds, random);
        const uint64_t now = GetTickCount64();
        if (now + wait >= item.deadlineTick) {
            if (now < item.deadlineTick) {
                const uint64_t seconds = UploadDeadlineMs(limits, dump.bytes) / 1000;
                outcome.reason += L" (no time left to try again within the " +
                                  std::to_wstring(seconds) + L" s a dump may take)";
            }
            return outcome;
        }
        ReportUploadRetry(log, dump.path, outcome, &wait);
        if (cancel != nullptr &&
            WaitForSingleObject(cancel, static_cast<DWORD>(wait)) == WAIT_OBJECT_0) {
            outcome.reason = L"cancelled";
            return outcome;
        }
        if (cancel == nullptr) {
            Sleep(static_cast<DWORD>(wait));
        }
    }
}

// The next dump's body, compressed on a thread of its own while the dump
// before it is on its way (a run that cannot start the thread compresses it
// in its turn).
class AheadOfTurn {
  public:
    AheadOfTurn(Uploader* uploader, UploadItem* item, HANDLE cancel)
        : uploader_(uploader), item_(item), cancel_(cancel) {
        thread_.Reset(CreateThread(nullptr, 0, &AheadOfTurn::Main, this, 0, nullptr));
    }
    ~AheadOfTurn() { Wait(); }
    AheadOfTurn(const AheadOfTurn&) = delete;
    AheadOfTurn& operator=(const AheadOfTurn&) = delete;

    void Wait() {
        if (thread_) {
            WaitForSingleObject(thread_.Get(), INFINITE);
            thread_.Reset();
        }
    }

  private:
    static DWORD WINAPI Main(void* self) {
        auto* ahead = static_cast<AheadOfTurn*>(self);
        ahead->uploader_->PrepareAhead(*ahead->item_, ahead->cancel_);
        return 0;
    }

    Uploader* uploader_;
    UploadItem* item_;
    HANDLE cancel_;
    UniqueHandle thread_;
};

// Why the dumps after this outcome are not tried; empty to go on.
std::wstring StopReason(const UploadOutcome& outcome, const std::wstring& dumpPath, HANDLE cancel) {
    if (Cancelled(cancel)) {
        return L"cancelled";
    }
    if (RefusesEveryDump(outcome)) {
        return L"the upload of " + dumpPath + L" was refused";
    }
    if (ServerWideFailure(outcome)) {
        return L"the server failed for " + dumpPath;
    }
    return std::wstring();
}

// The scan's own word on what cannot be sent; false for exit code 1.
bool ReportScan(const wchar_t* path, const SendScan& scan) {
    for (const UnreadFolder& folder : scan.unread) {
        const std::wstring caption = L"Cannot read the folder " + folder.path;
        ReportWin32Error(caption.c_str(), folder.error);
    }
    if (scan.namedFileIsNoDump) {
        PrintWide(L"Cannot send %s: it is not a complete minidump.\n", path);
        return false;
    }
    if (scan.dumps.empty() && scan.unread.empty()) {
        if (scan.namedFileWasSent) {
            PrintWide(L"No dump to send: %s has been sent (see its .sent record).\n", path);
        } else {
            PrintWide(L"No dump to send in %s.\n", path);
        }
    }
    return scan.unread.empty();
}

}  // namespace

void SortOldestFirst(std::vector<QueuedDump>* dumps) {
    std::sort(dumps->begin(), dumps->end(), [](const QueuedDump& a, const QueuedDump& b) {
        return a.lastWrite != b.lastWrite ? a.lastWrite < b.lastWrite : a.path < b.path;
    });
}

bool FindQueuedDumps(const wchar_t* path, SendScan* scan, DWORD* error) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) {
        *error = GetLastError();
        return false;
    }
    SendScan found;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        std::wstring folder = WithoutTrailingSeparators(path);
        if (folder.size() == 3 && folder.back() == L'\\') {
            folder.pop_back();  // the scan adds the separator itself
        }
        ScanFolder(folder, &found);
    } else if (SentRecordStateOf(path) == SentRecordState::kOurs) {
        found.namedFileWasSent = true;
    } else {
        ConsiderFile(path, FileTimeTicks(data.ftLastWriteTime),
                     FileBytes(data.nFileSizeHigh, data.nFileSizeLow), &found.dumps);
        found.namedFileIsNoDump = found.dumps.empty();
    }
    SortOldestFirst(&found.dumps);
    *scan = std::move(found);
    return true;
}

bool ServerWideFailure(const UploadOutcome& outcome) {
    if (outcome.verdict != UploadVerdict::kRetry) {
        return false;
    }
    // Without a status the server was not reached or did not answer.
    return outcome.status == 0 || outcome.status == 429 || outcome.status == 503;
}

uint32_t SendQueuedDumps(Uploader* uploader, const wchar_t* path, EventLog* log, HANDLE cancel) {
    SendScan scan;
    DWORD error = 0;
    if (!FindQueuedDumps(path, &scan, &error)) {
        const std::wstring caption = std::wstring(L"Cannot send ") + path;
        ReportWin32Error(caption.c_str(), error);
        return 1;
    }
    bool allAccepted = ReportScan(path, scan);
    const RandomUpTo random = SystemRandom();
    std::wstring stopReason;
    std::vector<UploadItem> items(scan.dumps.size());
    for (size_t i = 0; i < scan.dumps.size(); ++i) {
        const QueuedDump& dump = scan.dumps[i];
        if (!stopReason.empty()) {
            ReportNotTried(log, dump.path, stopReason);
            allAccepted = false;
            continue;
        }
        items[i].dumpPath = dump.path;
        std::unique_ptr<AheadOfTurn> ahead;
        if (i + 1 < items.size()) {
            items[i + 1].dumpPath = scan.dumps[i + 1].path;
            ahead.reset(new (std::nothrow) AheadOfTurn(uploader, &items[i + 1], cancel));
        }
        const UploadOutcome outcome =
            SendWithRetries(uploader, dump, items[i], log, cancel, random);
        ReportUploadOutcome(log, dump.path, uploader->shownUrl(), outcome);
        items[i].prepared.reset();
        // Another run of ours delivering it is no failure of this one.
        allAccepted = allAccepted &&
                      (outcome.verdict == UploadVerdict::kAccepted ||
                       outcome.verdict == UploadVerdict::kElsewhere) &&
                      outcome.sentRecordError == 0;
        stopReason = StopReason(outcome, dump.path, cancel);
    }
    return allAccepted ? 0 : 1;
}
