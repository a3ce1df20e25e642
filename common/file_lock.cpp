#include "common/file_lock.h"

namespace {

constexpr DWORD kFirstPollMs = 2;
constexpr DWORD kLongestPollMs = 50;

OVERLAPPED FarByte(DWORD offsetLow) {
    OVERLAPPED at = {};
    at.Offset = offsetLow;
    at.OffsetHigh = kFarLockOffsetHigh;
    return at;
}

}  // namespace

bool LockFarByte(HANDLE file, DWORD offsetLow, DWORD waitMs, DWORD* error) {
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    DWORD poll = kFirstPollMs;
    for (;;) {
        OVERLAPPED at = FarByte(offsetLow);
        if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
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

void UnlockFarByte(HANDLE file, DWORD offsetLow) {
    OVERLAPPED at = FarByte(offsetLow);
    UnlockFileEx(file, 0, 1, 0, &at);
}

bool SameFile(HANDLE first, HANDLE second) {
    BY_HANDLE_FILE_INFORMATION a = {};
    BY_HANDLE_FILE_INFORMATION b = {};
    return GetFileInformationByHandle(first, &a) && GetFileInformationByHandle(second, &b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}
