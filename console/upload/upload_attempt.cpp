#include "console/upload/upload_attempt.h"

#include <vector>

#include "common/unique_resource.h"
#include "common/utc_time.h"
#include "common/utf8_text.h"
#include "console/dumpwriter/dump_check.h"
#include "console/dumpwriter/dump_facts.h"
#include "console/report/error_report.h"
#include "console/upload/dump_origin.h"
#include "console/retention/sent_record.h"

namespace {

// A metadata file larger than this is no metadata file of ours.
constexpr DWORD kMaxMetadataBytes = 1024 * 1024;

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

}  // namespace

bool Uploader::Open(const HttpUrl& url, DWORD* error) {
    if (!client_.Open(error)) {
        return false;
    }
    url_ = url;
    shownUrl_ = ShownUrl(url);
    host_ = ComputerName();
    random_ = SystemRandom();
    return true;
}

bool Uploader::Prepare(const UploadItem& item, PreparedUpload* prepared, UploadOutcome* failure) {
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
    if (!DumpFileIsComplete(dump.Get()) || !ReadDumpFileFacts(dump.Get(), &facts)) {
        *failure = Outcome(UploadVerdict::kFailed, L"it is not a complete minidump");
        return false;
    }
    const std::wstring metadataPath = path + L".json";
    UniqueFile metadata = OpenForSending(metadataPath);
    const DumpOrigin origin =
        CompletedOrigin(item.origin, metadata ? ReadMetadata(metadata.Get()) : "", host_);
    const std::string fileName = Utf8FromWide(FileNameOf(path).c_str());
    std::vector<FormFileSource> files = {{{kDumpPartName, fileName}, dump.Get(), path}};
    if (metadata) {
        files.push_back({{kMetadataPartName, fileName + ".json"}, metadata.Get(), metadataPath});
    }
    const std::string boundary = FormBoundary(random_(~uint64_t{0}), random_(~uint64_t{0}));
    std::wstring reason;
    if (!WriteUploadBody(UploadFields(facts, origin), files, boundary, &prepared->body, &reason)) {
        *failure = Outcome(UploadVerdict::kFailed, reason);
        return false;
    }
    prepared->signature = SignatureFor(facts, origin);
    return true;
}

UploadOutcome Uploader::Upload(const UploadItem& item, HANDLE cancel) {
    PreparedUpload prepared;
    UploadOutcome outcome;
    if (!Prepare(item, &prepared, &outcome)) {
        return outcome;
    }
    const UploadBody& body = prepared.body;
    const HttpBody request = {body.file.Get(), body.size, body.contentType, "gzip"};
    const HttpPostResult result = client_.Post(url_, request, cancel, stepTimeoutMs_);
    outcome = result.failure == HttpFailure::kNone
                  ? OutcomeOfAnswer(result.status, result.statusText, result.bodyStart,
                                    result.retryAfterSeconds)
                  : Outcome(UploadVerdict::kRetry, HttpFailureText(result, stepTimeoutMs_));
    outcome.signature = prepared.signature;
    outcome.bytesSent = body.size;
    if (outcome.verdict == UploadVerdict::kAccepted ||
        outcome.verdict == UploadVerdict::kDiscarded) {
        outcome = RecordSent(item.dumpPath, shownUrl_, std::move(outcome));
    }
    return outcome;
}
