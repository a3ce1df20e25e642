#include "console/upload/upload_attempt.h"

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "common/file_time_ticks.h"
#include "common/unique_resource.h"
#include "common/utc_time.h"
#include "common/utf8_text.h"
#include "console/dumpwriter/dump_check.h"
#include "console/dumpwriter/dump_facts.h"
#include "console/report/error_report.h"
#include "console/upload/dump_origin.h"
#include "console/retention/sent_record.h"
#include "console/upload/upload_reports.h"

namespace {

// A metadata file larger than this is no metadata file of ours.
constexpr DWORD kMaxMetadataBytes = 1024 * 1024;
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

// Opened for reading while others may read or delete it, but not write: a
// dump still being written stays out.
UniqueFile OpenForSending(const std::wstring& path) {
    return UniqueFile(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// The metadata file's text; empty when there is none or it cannot be read.
std::string ReadMetadata(HANDLE file) {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size) || size.QuadPart > kMaxMetadataBytes) {
        return std::string();
    }
    std::string text(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &got, nullptr) ||
        got != text.size()) {
        return std::string();
    }
    return text;
}

UploadOutcome RecordSent(const std::wstring& dumpPath, const std::wstring& shownUrl,
                         UploadOutcome outcome) {
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
    if (!WriteSentRecord(dumpPath.c_str(), record, &error)) {
        outcome.sentRecordError = error;
    } else if (GetFileAttributesW(dumpPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        // -keep took the dump while it was on its way: its record would
        // stand alone.
        wchar_t sentPath[MAX_PATH];
        wchar_t sentTemp[MAX_PATH];
        if (SentRecordPaths(dumpPath.c_str(), sentPath, sentTemp)) {
            DeleteFileW(sentPath);
        }
    }
    return outcome;
}

// The dump's size and last write, to know the file again at a later try.
bool FileIdentity(const std::wstring& path, uint64_t* size, uint64_t* lastWrite) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return false;
    }
    *size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    *lastWrite = FileTimeTicks(data.ftLastWriteTime);
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

bool Uploader::Prepare(const UploadItem& item, HANDLE cancel, PreparedUpload* prepared,
                       UploadOutcome* failure) {
    const std::wstring& path = item.dumpPath;
    wchar_t sentPath[MAX_PATH];
    wchar_t sentTemp[MAX_PATH];
    if (!SentRecordPaths(path.c_str(), sentPath, sentTemp)) {
        *failure = Outcome(UploadVerdict::kFailed,
                           L"its .sent record would not fit in a path of 260 characters");
        return false;
    }
    UniqueFile dump = OpenForSending(path);
    if (!dump) {
        const DWORD error = GetLastError();
        const bool gone = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        *failure = gone ? Outcome(UploadVerdict::kGone, L"the dump was deleted before it was sent")
                        : Outcome(UploadVerdict::kFailed,
                                  L"cannot read the dump: " + SystemMessageText(error));
        return false;
    }
    DumpFacts facts;
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!DumpFileIsComplete(dump.Get()) || !ReadDumpFileFacts(dump.Get(), &facts) ||
        !GetFileInformationByHandle(dump.Get(), &information)) {
        *failure = Outcome(UploadVerdict::kFailed, L"it is not a complete minidump");
        return false;
    }
    prepared->dumpBytes = (uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow;
    prepared->dumpLastWrite = FileTimeTicks(information.ftLastWriteTime);
    const std::wstring metadataPath = path + L".json";
    UniqueFile metadata = OpenForSending(metadataPath);
    const DumpOrigin origin =
        CompletedOrigin(item.origin, metadata ? ReadMetadata(metadata.Get()) : "", host_);
    const std::string fileName = Utf8FromWide(FileNameOf(path).c_str());
    std::vector<FormFileSource> files = {{{kDumpPartName, fileName}, dump.Get(), path}};
    if (metadata) {
        files.push_back({{kMetadataPartName, fileName + ".json"}, metadata.Get(), metadataPath});
    }
    std::string boundary;
    {
        std::lock_guard<std::mutex> hold(randomLock_);
        boundary = FormBoundary(random_(~uint64_t{0}), random_(~uint64_t{0}));
    }
    std::wstring reason;
    if (!WriteUploadBody(UploadFields(facts, origin), files, boundary, cancel, &prepared->body,
                         &reason)) {
        const bool cancelled = reason == L"cancelled";
        *failure = Outcome(cancelled ? UploadVerdict::kRetry : UploadVerdict::kFailed, reason);
        return false;
    }
    prepared->signature = DumpSignature(facts, origin.triggerKind);
    return true;
}

bool Uploader::PreparedBody(UploadItem& item, HANDLE cancel, UploadOutcome* failure) {
    if (item.prepared) {
        uint64_t size = 0;
        uint64_t lastWrite = 0;
        if (!FileIdentity(item.dumpPath, &size, &lastWrite)) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
                *failure =
                    Outcome(UploadVerdict::kGone, L"the dump was deleted before it was sent");
                failure->signature = item.prepared->signature;
                item.prepared.reset();
                return false;
            }
        }
        DWORD error = 0;
        // Another file under the same name is prepared anew.
        if (size == item.prepared->dumpBytes && lastWrite == item.prepared->dumpLastWrite &&
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
    if (!Prepare(item, cancel, prepared.get(), failure)) {
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
    UploadOutcome outcome;
    if (!PreparedBody(item, cancel, &outcome)) {
        return outcome;
    }
    const uint64_t deadline = item.deadlineTick != 0
                                  ? item.deadlineTick
                                  : started + UploadDeadlineMs(limits_, item.prepared->dumpBytes);
    outcome = Post(item, deadline, cancel);
    if (outcome.verdict == UploadVerdict::kAccepted ||
        outcome.verdict == UploadVerdict::kDiscarded) {
        outcome = RecordSent(item.dumpPath, shownUrl_, std::move(outcome));
    }
    return outcome;
}

void Uploader::PrepareAhead(UploadItem& item, HANDLE cancel) {
    UploadOutcome failure;
    PreparedBody(item, cancel, &failure);
}
