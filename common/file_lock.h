// Byte-range locks that runs of ours take to agree, and telling whether two
// handles are one file.
#pragma once

#include <windows.h>

// The locks lie this far into a file (2^62 bytes), where no file of ours
// reaches, so that they never cover what a reader reads.
constexpr DWORD kFarLockOffsetHigh = 0x40000000;

// Takes the exclusive lock of the byte at kFarLockOffsetHigh:offsetLow,
// trying for at most waitMs (0: once). Polled rather than waited for in
// the system, so that the wait is bounded on every platform. False with
// ERROR_TIMEOUT when another handle held it all that time, or with the
// system error.
bool LockFarByte(HANDLE file, DWORD offsetLow, DWORD waitMs, DWORD* error);
void UnlockFarByte(HANDLE file, DWORD offsetLow);

// Both handles are open on the same file (volume and file index).
bool SameFile(HANDLE first, HANDLE second);
