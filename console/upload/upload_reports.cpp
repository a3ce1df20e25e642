#include "console/upload/upload_reports.h"

#include "common/console_output.h"
#include "console/report/error_report.h"
#include "console/report/upload_events.h"

namespace {

std::wstring Widened(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

void ReportSent(EventLog* log, const std::wstring& dumpPath, const std::wstring& shownUrl,
                const UploadOutcome& outcome) {
    const std::wstring id = outcome.id.empty() ? L"(no id given)" : Widened(outcome.id);
    PrintWide(L"Uploaded %s to %s: %s\n", dumpPath.c_str(), shownUrl.c_str(), id.c_str());
    LogUploadSent(log, dumpPath, shownUrl, outcome.status, outcome.id, outcome.bytesSent,
                  outcome.signature);
}

void ReportRejected(EventLog* log, const std::wstring& dumpPath, const UploadOutcome& outcome) {
    PrintWide(L"Upload of %s rejected: %s\n", dumpPath.c_str(), outcome.reason.c_str());
    LogUploadRejected(log, dumpPath, outcome.status, outcome.reason, outcome.signature);
}

void ReportStaysQueued(EventLog* log, const std::wstring& dumpPath, const UploadOutcome& outcome) {
    PrintWide(L"Upload of %s failed: %s; it stays queued for -send.\n", dumpPath.c_str(),
              outcome.reason.c_str());
    LogUploadFailed(log, dumpPath, outcome.reason, false, outcome.signature);
}

void ReportRefused(EventLog* log, const std::wstring& dumpPath, const UploadOutcome& outcome) {
    PrintWide(
        L"Upload of %s refused: %s; no dump is sent in this run after it, and each stays "
        L"queued for -send.\n",
        dumpPath.c_str(), outcome.reason.c_str());
    LogUploadRejected(log, dumpPath, outcome.status, outcome.reason, outcome.signature);
}

void ReportGone(EventLog* log, const std::wstring& dumpPath, const UploadOutcome& outcome) {
    PrintWide(L"Upload of %s failed: %s.\n", dumpPath.c_str(), outcome.reason.c_str());
    LogUploadFailed(log, dumpPath, outcome.reason, false, outcome.signature);
}

void ReportElsewhere(EventLog* log, const std::wstring& dumpPath, const UploadOutcome& outcome) {
    PrintWide(L"Upload of %s left to another run: %s.\n", dumpPath.c_str(), outcome.reason.c_str());
    LogUploadSkipped(log, dumpPath, outcome.reason);
}

}  // namespace

void ReportUploadOutcome(EventLog* log, const std::wstring& dumpPath, const std::wstring& shownUrl,
                         const UploadOutcome& outcome) {
    switch (outcome.verdict) {
        case UploadVerdict::kAccepted:
            ReportSent(log, dumpPath, shownUrl, outcome);
            break;
        case UploadVerdict::kDiscarded:
        case UploadVerdict::kRejected:
            ReportRejected(log, dumpPath, outcome);
            break;
        case UploadVerdict::kRefused:
            ReportRefused(log, dumpPath, outcome);
            break;
        case UploadVerdict::kRetry:
        case UploadVerdict::kFailed:
            ReportStaysQueued(log, dumpPath, outcome);
            break;
        case UploadVerdict::kGone:
            ReportGone(log, dumpPath, outcome);
            break;
        case UploadVerdict::kElsewhere:
            ReportElsewhere(log, dumpPath, outcome);
            break;
    }
    if (outcome.sentRecordError != 0) {
        const std::wstring caption = L"Failed to write " + dumpPath + L".sent";
        ReportWin32Error(caption.c_str(), outcome.sentRecordError);
    }
}

void ReportUploadRetry(EventLog* log, const std::wstring& dumpPath, const UploadOutcome& outcome,
                       const uint64_t* waitMs) {
    if (waitMs != nullptr) {
        PrintWide(L"Upload of %s failed: %s; trying again in %u s.\n", dumpPath.c_str(),
                  outcome.reason.c_str(), static_cast<unsigned>((*waitMs + 999) / 1000));
    }
    LogUploadFailed(log, dumpPath, outcome.reason, true, outcome.signature);
}

void ReportNotTried(EventLog* log, const std::wstring& dumpPath, const std::wstring& why) {
    PrintWide(L"Upload of %s not tried: %s; it stays queued for -send.\n", dumpPath.c_str(),
              why.c_str());
    LogUploadFailed(log, dumpPath, L"not tried: " + why, false, std::string());
}

void ReportCredentialsInClear(const std::wstring& shownUrl) {
    PrintWide(
        L"Warning: the user name and password of %s go to the server unencrypted over "
        L"http; use https.\n",
        shownUrl.c_str());
}
