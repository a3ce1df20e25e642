// The one place that decides whether a dump series may start: -a, -q and a
// series being written hold for both monitor threads alike.
#include <windows.h>

#include <gtest/gtest.h>

#include <process.h>

#include <atomic>
#include <functional>
#include <utility>

#include "common/unique_resource.h"

#include "console/series/series_gate.h"

namespace {

// Runs work on a thread of its own; Blocked() tells whether it is still at it
// a moment after it started (it is expected to be held back).
class Waiter {
  public:
    explicit Waiter(std::function<void()> work) : work_(std::move(work)) {
        thread_.Reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Run, this, 0, nullptr)));
    }
    ~Waiter() { Join(); }
    bool Blocked() { return WaitForSingleObject(thread_.Get(), 300) == WAIT_TIMEOUT; }
    void Join() { WaitForSingleObject(thread_.Get(), INFINITE); }

  private:
    static unsigned __stdcall Run(void* self) {
        static_cast<Waiter*>(self)->work_();
        return 0;
    }
    std::function<void()> work_;
    UniqueHandle thread_;
};

// The run's shared state with one watched process's series.
struct OneWatch {
    explicit OneWatch(uint32_t limit, uint32_t quietSeconds = 0) : budget{limit, 0} {
        shared.policy.quietSeconds = quietSeconds;
    }
    SharedSeriesState shared;
    SeriesBudget budget;
    WatchSeries series{shared, budget};
};

TEST(SeriesGate, TriggersWaitForTheQuietTimeAndTheSeriesBeingWritten) {
    OneWatch run(0, 3600);
    WatchSeries& series = run.series;
    ASSERT_EQ(SeriesStart::kStarted, BeginSeries(series, SeriesDemand::kWhenArmed));
    // Either thread's trigger during the series, a gap included, is dropped at once.
    EXPECT_EQ(SeriesStart::kBusy, BeginSeries(series, SeriesDemand::kWhenArmed));
    EXPECT_GT(MillisecondsUntilArmed(series), 0u);
    EndSeries(series, {}, false);
    // Then the quiet time holds back every trigger, whichever thread asks.
    EXPECT_EQ(SeriesStart::kQuiet, BeginSeries(series, SeriesDemand::kWhenArmed));
    EXPECT_GT(MillisecondsUntilArmed(series), 3500u * 1000u);
    // A crash is dumped all the same.
    EXPECT_EQ(SeriesStart::kStarted, BeginSeries(series, SeriesDemand::kAlways));
    EndSeries(series, {}, false);
    EXPECT_EQ(2u, SeriesStartedCount(series));
}

TEST(SeriesGate, ACrashWaitsForTheSeriesBeingWrittenAndTheLimitHolds) {
    OneWatch run(2);
    WatchSeries& series = run.series;
    ASSERT_EQ(SeriesStart::kStarted, BeginSeries(series, SeriesDemand::kWhenArmed));
    std::atomic<int> crash{-1};
    Waiter debugEvents(
        [&] { crash = static_cast<int>(BeginSeries(series, SeriesDemand::kAlways)); });
    EXPECT_TRUE(debugEvents.Blocked());  // waiting for the first series to end
    EndSeries(series, {1, 0, 0}, false);
    debugEvents.Join();
    EXPECT_EQ(static_cast<int>(SeriesStart::kStarted), crash.load());
    EndSeries(series, {1, 0, 0}, true);
    EXPECT_EQ(SeriesStart::kFinished, BeginSeries(series, SeriesDemand::kAlways));
    const SeriesSummary summary = SummariseSeries(run.shared);
    EXPECT_EQ(2u, summary.seriesWritten);
    EXPECT_EQ(2u, summary.tally.filesWritten);
    EXPECT_TRUE(summary.failed);
}

TEST(SeriesGate, ClosingWaitsForTheSeriesBeingWrittenAndStartsNoMore) {
    OneWatch run(0);
    WatchSeries& series = run.series;
    ASSERT_EQ(SeriesStart::kStarted, BeginSeries(series, SeriesDemand::kAlways));
    Waiter entry([&] { CloseSeries(series); });
    EXPECT_TRUE(entry.Blocked());
    EndSeries(series, {}, false);
    entry.Join();
    EXPECT_EQ(SeriesStart::kFinished, BeginSeries(series, SeriesDemand::kAlways));
}

// A followed name: the watch of a process that has ended was closed (its
// threads outlived the grace); the next process of the name is watched with
// the series left of the run's -a.
TEST(SeriesGate, AClosedWatchLeavesTheNextProcessItsSeries) {
    OneWatch run(3);
    ASSERT_EQ(SeriesStart::kStarted, BeginSeries(run.series, SeriesDemand::kAlways));
    EndSeries(run.series, {1, 0, 0}, false);
    CloseSeries(run.series);
    WatchSeries next(run.shared, run.budget);
    EXPECT_FALSE(SeriesFinished(next));
    ASSERT_EQ(SeriesStart::kStarted, BeginSeries(next, SeriesDemand::kWhenArmed));
    EndSeries(next, {1, 0, 0}, false);
    ASSERT_EQ(SeriesStart::kStarted, BeginSeries(next, SeriesDemand::kAlways));
    EndSeries(next, {1, 0, 0}, false);
    EXPECT_TRUE(SeriesFinished(next));  // three series over the two processes
    EXPECT_EQ(3u, SummariseSeries(run.shared).seriesWritten);
}

// -all: -a counts each process's series, -q holds for all of them together.
TEST(SeriesGate, EveryInstanceHasItsOwnLimitAndTheFoldersQuietTime) {
    SharedSeriesState shared;
    shared.policy.quietSeconds = 3600;
    SeriesBudget ownA{1, 0};
    SeriesBudget ownB{1, 0};
    WatchSeries a(shared, ownA);
    WatchSeries b(shared, ownB);
    ASSERT_EQ(SeriesStart::kStarted, BeginSeries(a, SeriesDemand::kWhenArmed));
    // While a series of another process is written, the quiet time holds.
    EXPECT_EQ(SeriesStart::kQuiet, BeginSeries(b, SeriesDemand::kWhenArmed));
    EndSeries(a, {1, 0, 0}, false);
    EXPECT_TRUE(SeriesFinished(a));
    EXPECT_FALSE(SeriesFinished(b));
    EXPECT_EQ(SeriesStart::kQuiet, BeginSeries(b, SeriesDemand::kWhenArmed));
    // A crash of the other process is not held back by the first one.
    ASSERT_EQ(SeriesStart::kStarted, BeginSeries(b, SeriesDemand::kAlways));
    EndSeries(b, {1, 0, 0}, false);
    EXPECT_EQ(1u, SummariseSeries(a).tally.filesWritten);
    EXPECT_EQ(1u, SummariseSeries(b).tally.filesWritten);
    EXPECT_EQ(2u, SummariseSeries(shared).tally.filesWritten);
}

TEST(SeriesGate, WithoutQuietTimeTheProcessesWriteTheirSeriesSideBySide) {
    SharedSeriesState shared;
    SeriesBudget budgetA{0, 0};
    SeriesBudget budgetB{0, 0};
    WatchSeries a(shared, budgetA);
    WatchSeries b(shared, budgetB);
    ASSERT_EQ(SeriesStart::kStarted, BeginSeries(a, SeriesDemand::kWhenArmed));
    EXPECT_EQ(SeriesStart::kStarted, BeginSeries(b, SeriesDemand::kWhenArmed));
    EXPECT_EQ(SeriesStart::kBusy, BeginSeries(a, SeriesDemand::kWhenArmed));
    EndSeries(a, {}, false);
    EndSeries(b, {}, false);
}

}  // namespace
