#include "console/run/supervision.h"

#include "common/labelled_output.h"
#include "common/stop_signal.h"
#include "console/series/series_gate.h"

namespace {

constexpr DWORD kGraceMilliseconds = 1000;

enum class Watch { kThreadsEnded, kStopped };

// Wakes on whichever comes first: the target's end, Ctrl+C, the watch's stop
// signal, or the end of a thread still running (a thread that has ended is
// left out, so that the wait does not return for it over and over). When
// several have happened, the target's end is the one reported. The threads
// wait on the watch's stop signal, which is raised for each of these.
Watch WatchRun(const SupervisedWatch& watch) {
    for (;;) {
        HANDLE waitFor[5] = {watch.process, watch.runStop, watch.watchStop};
        DWORD count = 3;
        for (DWORD i = 0; i < watch.threadCount; ++i) {
            if (WaitForSingleObject(watch.threads[i], 0) == WAIT_TIMEOUT) {
                waitFor[count++] = watch.threads[i];
            }
        }
        if (count == 3) {
            return Watch::kThreadsEnded;
        }
        const DWORD woken = WaitForMultipleObjects(count, waitFor, FALSE, INFINITE);
        if (woken == WAIT_OBJECT_0) {
            PrintLabelled(watch.label, L"The process has exited.\n");
            RaiseStop(watch.watchStop);
            return Watch::kStopped;
        }
        if (woken == WAIT_OBJECT_0 + 1 || woken == WAIT_OBJECT_0 + 2) {
            RaiseStop(watch.watchStop);
            return Watch::kStopped;
        }
        if (woken == WAIT_FAILED) {
            return Watch::kThreadsEnded;
        }
    }
}

}  // namespace

bool SuperviseMonitorThreads(const SupervisedWatch& watch, WatchSeries& series) {
    if (WatchRun(watch) == Watch::kThreadsEnded) {
        return true;
    }
    if (WaitForMultipleObjects(watch.threadCount, watch.threads, TRUE, kGraceMilliseconds) !=
        WAIT_TIMEOUT) {
        return true;
    }
    // A thread that has just finished a series has a few steps left
    // (detaching, terminating the target after an exception dump); one
    // writing a series finishes it first.
    CloseSeries(series);
    return WaitForMultipleObjects(watch.threadCount, watch.threads, TRUE, kGraceMilliseconds) !=
           WAIT_TIMEOUT;
}
