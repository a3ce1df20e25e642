#include "console/upload/upload_attempt.h"

#include <vector>

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

namespace {

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

bool Uploader::Prepare(const UploadItem& item, HANDLE dump, PreparedUpload* prepared,
                       UploadOutcome* failure) {
    const std::wstring& path = item.dumpPath;
    DumpFacts facts;
    if (!DumpFileIsComplete(dump) || !ReadDumpFileFacts(dump, &facts)) {
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
    const std::string boundary = FormBoundary(random_(~uint64_t{0}), random_(~uint64_t{0}));
    std::wstring reason;
    if (!WriteUploadBody(UploadFields(facts, origin), files, boundary, &prepared->body, &reason)) {
        *failure = Outcome(UploadVerdict::kFailed, reason);
        return false;
    }
    prepared->signature = DumpSignature(facts, origin.triggerKind);
    return true;
}

UploadOutcome Uploader::Upload(const UploadItem& item, HANDLE cancel) {
    SendClaim claim;
    DWORD claimError = 0;
    const SendClaimOutcome claimed = claim.Take(item.dumpPath, &claimError);
    if (claimed != SendClaimOutcome::kClaimed) {
        return OutcomeOfClaim(claimed, claimError);
    }
    PreparedUpload prepared;
    UploadOutcome outcome;
    if (!Prepare(item, claim.Dump(), &prepared, &outcome)) {
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
        outcome = RecordSent(claim, shownUrl_, std::move(outcome));
    }
    return outcome;
}
