#include "console/run/supervision.h"

#include "common/console_output.h"
#include "common/stop_signal.h"
#include "console/series/series_gate.h"

namespace {

constexpr DWORD kGraceMilliseconds = 1000;

enum class Watch { kThreadsEnded, kStopped };

// Wakes on whichever comes first: the target's end, the stop signal, or the
// end of a thread still running (a thread that has ended is left out, so
// that the wait does not return for it over and over). When both have
// happened, the target's end is the one reported.
Watch WatchRun(const HANDLE* threads, DWORD threadCount, HANDLE process, HANDLE stopSignal,
               EventLog& log) {
    for (;;) {
        HANDLE waitFor[4] = {process, stopSignal};
        DWORD count = 2;
        for (DWORD i = 0; i < threadCount; ++i) {
            if (WaitForSingleObject(threads[i], 0) == WAIT_TIMEOUT) {
                waitFor[count++] = threads[i];
            }
        }
        if (count == 2) {
            return Watch::kThreadsEnded;
        }
        const DWORD woken = WaitForMultipleObjects(count, waitFor, FALSE, INFINITE);
        if (woken == WAIT_OBJECT_0) {
            PrintWide(L"The process has exited.\n");
            log.ProcessExited();
            RaiseStop(stopSignal);
            return Watch::kStopped;
        }
        if (woken == WAIT_OBJECT_0 + 1) {
            return Watch::kStopped;
        }
        if (woken == WAIT_FAILED) {
            return Watch::kThreadsEnded;
        }
    }
}

}  // namespace

bool SuperviseMonitorThreads(const HANDLE* threads, DWORD threadCount, HANDLE process,
                             HANDLE stopSignal, SharedSeriesState& series, EventLog& log) {
    if (WatchRun(threads, threadCount, process, stopSignal, log) == Watch::kThreadsEnded) {
        return true;
    }
    if (WaitForMultipleObjects(threadCount, threads, TRUE, kGraceMilliseconds) != WAIT_TIMEOUT) {
        return true;
    }
    // A thread that has just finished a series has a few steps left
    // (detaching, terminating the target after an exception dump); one
    // writing a series finishes it first.
    CloseSeries(series);
    return WaitForMultipleObjects(threadCount, threads, TRUE, kGraceMilliseconds) != WAIT_TIMEOUT;
}
