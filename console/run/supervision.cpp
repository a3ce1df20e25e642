#include "console/run/supervision.h"

#include "common/console_output.h"
#include "console/run/ctrl_handler.h"

namespace {

constexpr DWORD kPollMilliseconds = 100;
constexpr DWORD kGraceMilliseconds = 1000;

void EndRemainingThreads(const HANDLE* threads, DWORD threadCount, CRITICAL_SECTION* dumpLock) {
    // Holding the series lock, no thread is inside a dump write, and none can
    // start one before it is ended.
    EnterCriticalSection(dumpLock);
    // A series that just finished leaves its thread a few steps to take
    // (detaching, terminating the target after an exception dump); those
    // need no lock, so give them one more grace period.
    WaitForMultipleObjects(threadCount, threads, TRUE, kGraceMilliseconds);
    for (DWORD i = 0; i < threadCount; ++i) {
        if (WaitForSingleObject(threads[i], 0) == WAIT_TIMEOUT) {
            TerminateThread(threads[i], 0);
        }
    }
    LeaveCriticalSection(dumpLock);
}

}  // namespace

void SuperviseMonitorThreads(const HANDLE* threads, DWORD threadCount, HANDLE process,
                             CRITICAL_SECTION* dumpLock) {
    for (;;) {
        DWORD result = WaitForMultipleObjects(threadCount, threads, TRUE, kPollMilliseconds);
        if (result != WAIT_TIMEOUT) {
            return;
        }
        if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
            PrintWide(L"The process has exited.\n");
            g_stopFlag = 1;
            break;
        }
        if (g_stopFlag != 0) {
            break;
        }
    }
    if (WaitForMultipleObjects(threadCount, threads, TRUE, kGraceMilliseconds) == WAIT_TIMEOUT) {
        EndRemainingThreads(threads, threadCount, dumpLock);
    }
}
