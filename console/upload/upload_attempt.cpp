#include "console/upload/upload_attempt.h"

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "common/file_time_ticks.h"
#include "common/unique_resource.h"
#include "common/utc_time.h"
#include "common/utf8_text.h"
#include "console/dumpfolder/send_claim.h"
#include "console/dumpfolder/sent_record.h"
#include "console/dumpwriter/dump_check.h"
#include "console/dumpwriter/dump_facts.h"
#include "console/dumpwriter/dump_metadata.h"
#include "console/dumpwriter/dump_ownership.h"
#include "console/report/error_report.h"
#include "console/upload/dump_origin.h"
#include "console/upload/upload_reports.h"

namespace {

constexpr uint64_t kMB = 1024 * 1024;

UploadOutcome Outcome(UploadVerdict verdict, std::wstring reason) {
    UploadOutcome outcome;
    outcome.verdict = verdict;
    outcome.reason = std::move(reason);
    return outcome;
}

std::wstring ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &length) ? std::wstring(name, length) : std::wstring();
}

std::wstring FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The metadata file's text; empty when there is none, it cannot be read or
// it is not ours (a file of that name from elsewhere is never sent as ours).
std::string ReadMetadata(HANDLE file) {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size) || size.QuadPart > kMetadataFileLimit) {
        return std::string();
    }
    std::string text(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &got, nullptr) ||
        got != text.size() || !IsMetadataText(text)) {
        return std::string();
    }
    return text;
}

// Under the folder lock, through the claim: the record that the server has
// the dump, unless -keep took it meanwhile.
UploadOutcome RecordSent(SendClaim& claim, const std::wstring& shownUrl, UploadOutcome outcome) {
    SentRecord record;
    record.url = shownUrl;
    record.status = outcome.status;
    if (outcome.verdict == UploadVerdict::kDiscarded) {
        record.discarded = outcome.id;
    } else {
        record.id = outcome.id;
    }
    record.time = UtcTimeNow();
    record.bytes = outcome.bytesSent;
    DWORD error = 0;
    if (claim.Record(record, &error) == SendClaim::Recorded::kFailed) {
        outcome.sentRecordError = error != 0 ? error : ERROR_WRITE_FAULT;
    }
    return outcome;
}

// What taking the dump for sending came to, when it is not to be sent now.
UploadOutcome OutcomeOfClaim(SendClaimOutcome claimed, DWORD error) {
    switch (claimed) {
        case SendClaimOutcome::kClaimed:
            break;
        case SendClaimOutcome::kSentAlready:
            return Outcome(UploadVerdict::kElsewhere, L"another run of ours has sent it meanwhile");
        case SendClaimOutcome::kBusy:
            return Outcome(UploadVerdict::kElsewhere, L"another run of ours is sending it");
        case SendClaimOutcome::kRecordInTheWay:
            return Outcome(UploadVerdict::kFailed,
                           L"its .sent is a file or folder that is not ours; move it away to send "
                           L"the dump");
        case SendClaimOutcome::kGone:
            return Outcome(UploadVerdict::kGone, L"the dump was deleted before it was sent");
        case SendClaimOutcome::kUnreadable:
            return Outcome(UploadVerdict::kFailed,
                           L"cannot read the dump: " + SystemMessageText(error));
        case SendClaimOutcome::kNoFolderLock:
            return Outcome(UploadVerdict::kFailed,
                           L"cannot lock its folder: " + SystemMessageText(error));
    }
    return Outcome(UploadVerdict::kFailed, L"not sent");
}

// The dump's size and last write, to know the file again at a later try.
bool FileIdentity(HANDLE file, uint64_t* size, uint64_t* lastWrite) {
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!GetFileInformationByHandle(file, &information)) {
        return false;
    }
    *size = (uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow;
    *lastWrite = FileTimeTicks(information.ftLastWriteTime);
    return true;
}

// "<name>=<digits>" in a comma-separated list; false when absent.
bool NamedNumber(const std::wstring& text, const wchar_t* name, uint64_t* value) {
    const std::wstring key = std::wstring(name) + L"=";
    for (size_t at = 0; at <= text.size();) {
        const size_t end = std::min(text.find(L',', at), text.size());
        const std::wstring item = text.substr(at, end - at);
        if (item.compare(0, key.size(), key) == 0 && item.size() > key.size() &&
            item.size() - key.size() <= 9 &&
            item.find_first_not_of(L"0123456789", key.size()) == std::wstring::npos) {
            *value = 0;
            for (size_t i = key.size(); i < item.size(); ++i) {
                *value = *value * 10 + static_cast<uint64_t>(item[i] - L'0');
            }
            return true;
        }
        at = end + 1;
    }
    return false;
}

UploadVerdict VerdictOfFailure(const HttpPostResult& result) {
    switch (result.failure) {
        case HttpFailure::kNetwork:
            return VerdictOfNetworkError(result.error);
        case HttpFailure::kSetting:
            return UploadVerdict::kRefused;
        default:
            return UploadVerdict::kRetry;
    }
}

}  // namespace

struct PreparedUpload {
    UploadBody body;
    std::string signature;
    uint64_t dumpBytes = 0;
    uint64_t dumpLastWrite = 0;
};

UploadLimits ShortenedLimits(UploadLimits limits, const wchar_t* text) {
    if (text == nullptr) {
        return limits;
    }
    uint64_t value = 0;
    if (NamedNumber(text, L"step", &value) && value > 0 && value < limits.stepTimeoutMs) {
        limits.stepTimeoutMs = static_cast<DWORD>(value);
    }
    if (NamedNumber(text, L"deadline", &value) && value > 0 && value < limits.deadlineBaseMs) {
        limits.deadlineBaseMs = value;
        limits.deadlineMsPerMB = 0;
    }
    if (NamedNumber(text, L"retry", &value) && value > 0 && value < limits.retry.firstBoundMs) {
        limits.retry.firstBoundMs = value;
    }
    return limits;
}

uint64_t UploadDeadlineMs(const UploadLimits& limits, uint64_t dumpBytes) {
    return limits.deadlineBaseMs + (dumpBytes + kMB - 1) / kMB * limits.deadlineMsPerMB;
}

bool Uploader::Open(const HttpUrl& url, DWORD* error) {
    if (!client_.Open(error)) {
        return false;
    }
    url_ = url;
    shownUrl_ = ShownUrl(url);
    host_ = ComputerName();
    random_ = SystemRandom();
    wchar_t limits[128];
    const DWORD length = GetEnvironmentVariableW(L"VH_UPLOAD_TEST_LIMITS", limits, 128);
    limits_ = ShortenedLimits(UploadLimits(), length > 0 && length < 128 ? limits : nullptr);
    if (!url.secure && !url.userInfo.empty()) {
        ReportCredentialsInClear(shownUrl_);
    }
    return true;
}

bool Uploader::Prepare(const UploadItem& item, HANDLE dump, HANDLE cancel, PreparedUpload* prepared,
                       UploadOutcome* failure) {
    const std::wstring& path = item.dumpPath;
    DumpFacts facts;
    if (!DumpFileIsComplete(dump) || !ReadDumpFileFacts(dump, &facts) ||
        !FileIdentity(dump, &prepared->dumpBytes, &prepared->dumpLastWrite)) {
        *failure = Outcome(UploadVerdict::kFailed, L"it is not a complete minidump");
        return false;
    }
    if (item.oursOnly && !DumpFileIsOurs(dump)) {
        *failure = Outcome(UploadVerdict::kFailed, L"it is not a dump of ours any more");
        return false;
    }
    wchar_t metadataPath[MAX_PATH];
    wchar_t metadataTemp[MAX_PATH];
    UniqueFile metadata;
    if (MetadataFilePaths(path.c_str(), metadataPath, metadataTemp)) {
        metadata = OpenDumpForReading(metadataPath);
    }
    const std::string metadataText = metadata ? ReadMetadata(metadata.Get()) : std::string();
    const DumpOrigin origin = CompletedOrigin(item.origin, metadataText, host_);
    const std::string fileName = Utf8FromWide(FileNameOf(path).c_str());
    std::vector<FormFileSource> files = {{{kDumpPartName, fileName}, dump, path}};
    if (!metadataText.empty()) {
        files.push_back({{kMetadataPartName, fileName + ".json"}, metadata.Get(), metadataPath});
    }
    std::string boundary;
    {
        std::lock_guard<ExclusiveLock> hold(randomLock_);
        boundary = FormBoundary(random_(~uint64_t{0}), random_(~uint64_t{0}));
    }
    std::wstring reason;
    if (!WriteUploadBody(UploadFields(facts, origin), files, boundary, cancel, &prepared->body,
                         &reason)) {
        const bool cancelled = reason == L"cancelled";
        *failure = Outcome(cancelled ? UploadVerdict::kRetry : UploadVerdict::kFailed, reason);
        return false;
    }
    prepared->signature = SignatureFor(facts, origin);
    return true;
}

bool Uploader::PreparedBody(UploadItem& item, HANDLE dump, HANDLE cancel, UploadOutcome* failure) {
    if (item.prepared) {
        uint64_t size = 0;
        uint64_t lastWrite = 0;
        DWORD error = 0;
        // Another file under the same name is prepared anew.
        if (FileIdentity(dump, &size, &lastWrite) && size == item.prepared->dumpBytes &&
            lastWrite == item.prepared->dumpLastWrite &&
            RewindUploadBody(&item.prepared->body, &error)) {
            return true;
        }
        item.prepared.reset();
    }
    std::shared_ptr<PreparedUpload> prepared(new (std::nothrow) PreparedUpload);
    if (!prepared) {
        *failure = Outcome(UploadVerdict::kFailed, SystemMessageText(ERROR_NOT_ENOUGH_MEMORY));
        return false;
    }
    if (!Prepare(item, dump, cancel, prepared.get(), failure)) {
        return false;
    }
    item.prepared = std::move(prepared);
    return true;
}

UploadOutcome Uploader::Post(const UploadItem& item, uint64_t deadlineTick, HANDLE cancel) {
    const PreparedUpload& prepared = *item.prepared;
    const UploadBody& body = prepared.body;
    HttpBody request;
    request.bytes = body.file ? nullptr : body.bytes.data();
    request.file = body.file.Get();
    request.size = body.size;
    request.contentType = body.contentType;
    request.contentEncoding = "gzip";
    const HttpPostResult result =
        client_.Post(url_, request, cancel, {limits_.stepTimeoutMs, deadlineTick});
    const uint64_t deadlineSeconds = UploadDeadlineMs(limits_, prepared.dumpBytes) / 1000;
    UploadOutcome outcome =
        result.failure == HttpFailure::kNone
            ? OutcomeOfAnswer(result.status, result.statusText, result.bodyStart,
                              result.retryAfterSeconds, result.location)
            : Outcome(VerdictOfFailure(result),
                      HttpFailureText(result, limits_.stepTimeoutMs, deadlineSeconds));
    outcome.signature = prepared.signature;
    outcome.bytesSent = body.size;
    return outcome;
}

UploadOutcome Uploader::Upload(UploadItem& item, HANDLE cancel) {
    const uint64_t started = GetTickCount64();
    SendClaim claim;
    DWORD claimError = 0;
    const SendClaimOutcome claimed = claim.Take(item.dumpPath, &claimError);
    if (claimed != SendClaimOutcome::kClaimed) {
        item.prepared.reset();
        return OutcomeOfClaim(claimed, claimError);
    }
    UploadOutcome outcome;
    if (!PreparedBody(item, claim.Dump(), cancel, &outcome)) {
        return outcome;
    }
    const uint64_t deadline = item.deadlineTick != 0
                                  ? item.deadlineTick
                                  : started + UploadDeadlineMs(limits_, item.prepared->dumpBytes);
    outcome = Post(item, deadline, cancel);
    if (outcome.verdict == UploadVerdict::kAccepted ||
        outcome.verdict == UploadVerdict::kDiscarded) {
        outcome = RecordSent(claim, shownUrl_, std::move(outcome));
    }
    return outcome;
}

void Uploader::PrepareAhead(UploadItem& item, HANDLE cancel) {
    // Read only: the claim is taken when the dump's turn comes, and the body
    // is used then only when it is of the same file.
    const UniqueFile dump = OpenDumpForReading(item.dumpPath.c_str());
    UploadOutcome failure;
    if (dump) {
        PreparedBody(item, dump.Get(), cancel, &failure);
    }
}
