#include "console/dumpfolder/folder_lock.h"

#include "common/bounded_text.h"
#include "console/dumpwriter/dump_names.h"
#include "console/report/error_report.h"

namespace {

constexpr DWORD kFirstPollMs = 5;
constexpr DWORD kLongestPollMs = 50;

bool LockFilePath(const wchar_t* dumpPath, wchar_t (&path)[MAX_PATH]) {
    wchar_t directory[MAX_PATH];
    if (!DumpDirectoryOf(dumpPath, directory)) {
        return false;
    }
    return directory[0] == L'\0'
               ? CopyBounded(path, MAX_PATH, kFolderLockFileName)
               : FormatBounded(path, MAX_PATH, L"%s\\%s", directory, kFolderLockFileName);
}

}  // namespace

DumpFolderLock::~DumpFolderLock() {
    if (held_) {
        OVERLAPPED at = {};
        UnlockFileEx(file_.Get(), 0, 1, 0, &at);
    }
}

bool DumpFolderLock::Take(const wchar_t* dumpPath, DWORD waitMs, DWORD* error) {
    wchar_t path[MAX_PATH];
    if (!LockFilePath(dumpPath, path)) {
        *error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    // No delete sharing: the file cannot vanish under a run that holds it.
    file_.Reset(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (!file_) {
        *error = GetLastError();
        return false;
    }
    // Polled rather than waited for in the system, so that the wait is
    // bounded on every platform.
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    DWORD poll = kFirstPollMs;
    for (;;) {
        OVERLAPPED at = {};
        if (LockFileEx(file_.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                       &at)) {
            held_ = true;
            return true;
        }
        const DWORD failure = GetLastError();
        if (failure != ERROR_LOCK_VIOLATION && failure != ERROR_IO_PENDING) {
            *error = failure;
            return false;
        }
        if (GetTickCount64() >= deadline) {
            *error = ERROR_TIMEOUT;
            return false;
        }
        Sleep(poll);
        poll = poll * 2 < kLongestPollMs ? poll * 2 : kLongestPollMs;
    }
}

FolderLockHold::FolderLockHold(const wchar_t* dumpPath, const wchar_t* caption) {
    DWORD error = 0;
    if (!lock_.Take(dumpPath, kFolderLockWaitMs, &error)) {
        ReportWin32Error(caption, error);
    }
}
