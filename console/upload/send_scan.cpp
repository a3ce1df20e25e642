#include "console/upload/send_scan.h"

#include <algorithm>

#include "common/console_output.h"
#include "common/file_time_ticks.h"
#include "common/unique_resource.h"
#include "console/dumpwriter/dump_check.h"
#include "console/report/error_report.h"
#include "console/dumpfolder/dump_deletion.h"
#include "console/dumpfolder/sent_record.h"
#include "console/upload/upload_reports.h"

namespace {

// A complete minidump that no dump writer holds open and that has no record
// of ours (a file of that name that is not ours is reported when it is sent).
void ConsiderFile(const std::wstring& path, uint64_t lastWrite, std::vector<QueuedDump>* dumps) {
    const std::wstring deleting = kDeletingSuffix;
    const bool beingDeleted =
        path.size() > deleting.size() &&
        _wcsicmp(path.c_str() + path.size() - deleting.size(), deleting.c_str()) == 0;
    if (!beingDeleted && SentRecordStateOf(path.c_str()) != SentRecordState::kOurs &&
        DumpFileAtIsComplete(path.c_str())) {
        dumps->push_back({path, lastWrite});
    }
}

void ScanFolder(const std::wstring& folder, std::vector<QueuedDump>* dumps) {
    WIN32_FIND_DATAW found = {};
    UniqueFind find(FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0));
    if (!find) {
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
            ScanFolder(path, dumps);
        } else {
            ConsiderFile(path, FileTimeTicks(found.ftLastWriteTime), dumps);
        }
    } while (FindNextFileW(find.Get(), &found));
}

std::wstring WithoutTrailingSeparators(const wchar_t* path) {
    std::wstring text = path;
    // "C:\" keeps its separator; "C:\dumps\" loses it.
    while (text.size() > 3 && (text.back() == L'\\' || text.back() == L'/')) {
        text.pop_back();
    }
    return text;
}

}  // namespace

void SortOldestFirst(std::vector<QueuedDump>* dumps) {
    std::sort(dumps->begin(), dumps->end(), [](const QueuedDump& a, const QueuedDump& b) {
        return a.lastWrite != b.lastWrite ? a.lastWrite < b.lastWrite : a.path < b.path;
    });
}

bool FindQueuedDumps(const wchar_t* path, std::vector<QueuedDump>* dumps, DWORD* error) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) {
        *error = GetLastError();
        return false;
    }
    std::vector<QueuedDump> found;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        std::wstring folder = WithoutTrailingSeparators(path);
        if (folder.size() == 3 && folder.back() == L'\\') {
            folder.pop_back();  // the scan adds the separator itself
        }
        ScanFolder(folder, &found);
    } else {
        ConsiderFile(path, FileTimeTicks(data.ftLastWriteTime), &found);
    }
    SortOldestFirst(&found);
    *dumps = std::move(found);
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
    std::vector<QueuedDump> dumps;
    DWORD error = 0;
    if (!FindQueuedDumps(path, &dumps, &error)) {
        const std::wstring caption = std::wstring(L"Cannot send ") + path;
        ReportWin32Error(caption.c_str(), error);
        return 1;
    }
    if (dumps.empty()) {
        PrintWide(L"No dump to send in %s.\n", path);
        return 0;
    }
    bool allAccepted = true;
    std::wstring stopReason;
    for (const QueuedDump& dump : dumps) {
        UploadOutcome outcome;
        if (stopReason.empty()) {
            outcome = uploader->Upload({dump.path, DumpOrigin()}, cancel);
        } else {
            outcome.verdict = UploadVerdict::kRetry;
            outcome.reason = stopReason;
        }
        ReportUploadOutcome(log, dump.path, uploader->shownUrl(), outcome);
        allAccepted = allAccepted && (outcome.verdict == UploadVerdict::kAccepted ||
                                      outcome.verdict == UploadVerdict::kElsewhere);
        if (!stopReason.empty()) {
            continue;
        }
        if (cancel != nullptr && WaitForSingleObject(cancel, 0) == WAIT_OBJECT_0) {
            stopReason = L"cancelled";
        } else if (ServerWideFailure(outcome)) {
            stopReason = L"not tried after the one before failed: " + outcome.reason;
        }
    }
    return allAccepted ? 0 : 1;
}
