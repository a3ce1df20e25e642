// A lock for the threads of one process: a slim reader/writer lock taken
// exclusively, used with std::lock_guard. It takes the place of std::mutex,
// whose implementation in this runtime brings a threads library along.
#pragma once

#include <windows.h>

class ExclusiveLock {
  public:
    ExclusiveLock() = default;
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

    void lock() { AcquireSRWLockExclusive(&lock_); }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }

  private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};
