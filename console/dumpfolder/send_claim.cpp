#include "console/dumpfolder/send_claim.h"

#include "console/dumpfolder/folder_lock.h"
#include "console/dumpwriter/dump_check.h"

namespace {

// Where the claim lies: 2^62 bytes into the dump, where no file reaches.
constexpr DWORD kClaimOffsetHigh = 0x40000000;

bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION first = {};
    BY_HANDLE_FILE_INFORMATION second = {};
    return GetFileInformationByHandle(a, &first) && GetFileInformationByHandle(b, &second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

bool IsGone(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

SendClaim::~SendClaim() {
    if (claimed_) {
        OVERLAPPED at = {};
        at.OffsetHigh = kClaimOffsetHigh;
        UnlockFileEx(dump_.Get(), 0, 1, 0, &at);
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
    OVERLAPPED at = {};
    at.OffsetHigh = kClaimOffsetHigh;
    if (!LockFileEx(dump_.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                    &at)) {
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
