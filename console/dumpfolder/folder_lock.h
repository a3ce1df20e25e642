// The one lock of a dump folder. Every decision that reads and then changes
// what the folder's runs share (which name a dump takes, which old dumps
// -keep deletes, how many dumps -rate has seen this hour, who sends a dump
// and the record that it was sent) is taken while holding it, by every run
// of ours: postmortem starts (one per crash), long watches and -send runs
// alike. It is a byte-range lock on a file of ours in the folder, so a run
// that dies while holding it lets it go with its handles, and the next run
// is never blocked by a holder that has gone.
#pragma once

#include <windows.h>

#include "common/unique_resource.h"

// The lock file in the dump folder. It stays: deleting it could split the
// runs between two files.
constexpr wchar_t kFolderLockFileName[] = L"varnhold.lock";

// A holder keeps the lock for a few file steps at a time; no run waits for
// the network or a dump write while holding it. A wait this long means a
// holder that is stuck, and the caller goes on without the lock in the way
// that is safe for its decision.
constexpr DWORD kFolderLockWaitMs = 15000;

class DumpFolderLock {
  public:
    DumpFolderLock() = default;
    ~DumpFolderLock();
    DumpFolderLock(const DumpFolderLock&) = delete;
    DumpFolderLock& operator=(const DumpFolderLock&) = delete;

    // Takes the lock of the folder that holds dumpPath (the folder of the
    // path, or the current one when it names none), waiting at most
    // waitMs. False with the system error when the lock file cannot be
    // opened or created, or ERROR_TIMEOUT when another run held the lock
    // all that time.
    bool Take(const wchar_t* dumpPath, DWORD waitMs, DWORD* error);
    bool Held() const { return held_; }

  private:
    UniqueFile file_;
    bool held_ = false;
};

// The folder lock a step asks for. When it could not be had, Held() is
// false and the failure has been printed once, as "<caption>: <text>".
class FolderLockHold {
  public:
    FolderLockHold(const wchar_t* dumpPath, const wchar_t* caption);
    bool Held() const { return lock_.Held(); }

  private:
    DumpFolderLock lock_;
};
