// The end of a run never ends a monitor thread forcibly: a thread ended in
// the middle of a print would keep the console's lock for good.
#include <windows.h>
#include <process.h>

#include <gtest/gtest.h>

#include "common/stop_signal.h"
#include "common/unique_resource.h"
#include "console/run/ctrl_handler.h"
#include "console/run/supervision.h"
#include "console/series/series_gate.h"

namespace {

struct SlowThread {
    HANDLE release;
    bool finished = false;
};

unsigned __stdcall HeldUntilReleased(void* argument) {
    auto* slow = static_cast<SlowThread*>(argument);
    WaitForSingleObject(slow->release, INFINITE);  // a system call that does not end in time
    slow->finished = true;
    return 0;
}

TEST(Supervision, AThreadOutlivingTheGraceIsLeftToFinishNotEnded) {
    UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle neverEnds(CreateEventW(nullptr, TRUE, FALSE, nullptr));  // the target
    UniqueHandle stop(CreateStopSignal());
    SlowThread slow{release.Get()};
    UniqueHandle thread(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, HeldUntilReleased, &slow, 0, nullptr)));
    ASSERT_TRUE(thread.IsValid());
    SharedSeriesState shared;
    SeriesBudget budget;
    WatchSeries series(shared, budget);
    RaiseStop(stop.Get());
    HANDLE threads[1] = {thread.Get()};
    UniqueHandle watchStop(CreateStopSignal());
    const SupervisedWatch watch = {threads,         1,      neverEnds.Get(), 0, stop.Get(),
                                   watchStop.Get(), nullptr};
    EXPECT_FALSE(SuperviseMonitorThreads(watch, series));
    EXPECT_TRUE(StopRaised(watchStop.Get()));  // the threads were told to stop
    EXPECT_EQ(SeriesStart::kFinished, BeginSeries(series, SeriesDemand::kAlways));
    SetEvent(release.Get());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.Get(), 10000));
    EXPECT_TRUE(slow.finished);
}

}  // namespace

// Only Ctrl+Break still ends the program at once: the end of the console,
// of the logon session or of the machine waits for the run to wind down, so
// that a dump being written is finished first.
TEST(ControlAction, EveryConsoleEventButCtrlBreakStopsTheRunFirst) {
    const struct {
        DWORD controlType;
        ControlAction expected;
    } cases[] = {
        {CTRL_C_EVENT, ControlAction::kStop},
        {CTRL_BREAK_EVENT, ControlAction::kSystemDefault},
        {CTRL_CLOSE_EVENT, ControlAction::kStopAndAwaitEnd},
        {CTRL_LOGOFF_EVENT, ControlAction::kStopAndAwaitEnd},
        {CTRL_SHUTDOWN_EVENT, ControlAction::kStopAndAwaitEnd},
        {99, ControlAction::kSystemDefault},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, ControlActionOf(c.controlType)) << c.controlType;
    }
}
