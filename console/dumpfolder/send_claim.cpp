#include "console/dumpfolder/send_claim.h"

#include "common/file_lock.h"
#include "console/dumpfolder/folder_lock.h"
#include "console/dumpwriter/dump_check.h"

namespace {

bool IsGone(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

SendClaim::~SendClaim() {
    if (claimed_) {
        UnlockFarByte(dump_.Get(), 0);
    }
}

SendClaimOutcome SendClaim::Take(const std::wstring& dumpPath, DWORD* error) {
    path_ = dumpPath;
    DumpFolderLock lock;
    if (!lock.Take(dumpPath.c_str(), kFolderLockWaitMs, error)) {
        return SendClaimOutcome::kNoFolderLock;
    }
    dump_ = OpenDumpForReading(dumpPath.c_str());
    if (!dump_) {
        *error = GetLastError();
        return IsGone(*error) ? SendClaimOutcome::kGone : SendClaimOutcome::kUnreadable;
    }
    DWORD lockError = 0;
    if (!LockFarByte(dump_.Get(), 0, 0, &lockError)) {
        return SendClaimOutcome::kBusy;
    }
    claimed_ = true;
    switch (SentRecordStateOf(dumpPath.c_str())) {
        case SentRecordState::kNone:
            return SendClaimOutcome::kClaimed;
        case SentRecordState::kOurs:
            return SendClaimOutcome::kSentAlready;
        case SentRecordState::kForeign:
            return SendClaimOutcome::kRecordInTheWay;
    }
    return SendClaimOutcome::kRecordInTheWay;
}

SendClaim::Recorded SendClaim::Record(const SentRecord& record, DWORD* error) {
    DumpFolderLock lock;
    if (!lock.Take(path_.c_str(), kFolderLockWaitMs, error)) {
        return Recorded::kFailed;
    }
    UniqueFile now = OpenDumpForReading(path_.c_str());
    if (!now) {
        *error = GetLastError();
        return IsGone(*error) ? Recorded::kGone : Recorded::kFailed;
    }
    if (!SameFile(now.Get(), dump_.Get())) {
        return Recorded::kGone;
    }
    return WriteSentRecord(path_.c_str(), record, error) ? Recorded::kYes : Recorded::kFailed;
}
