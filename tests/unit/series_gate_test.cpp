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

TEST(SeriesGate, TriggersWaitForTheQuietTimeAndTheSeriesBeingWritten) {
    SharedSeriesState series;
    series.policy.seriesLimit = 0;
    series.policy.quietSeconds = 3600;
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
    SharedSeriesState series;
    series.policy.seriesLimit = 2;
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
    const SeriesSummary summary = SummariseSeries(series);
    EXPECT_EQ(2u, summary.seriesWritten);
    EXPECT_EQ(2u, summary.tally.filesWritten);
    EXPECT_TRUE(summary.failed);
}

TEST(SeriesGate, ClosingWaitsForTheSeriesBeingWrittenAndStartsNoMore) {
    SharedSeriesState series;
    series.policy.seriesLimit = 0;
    ASSERT_EQ(SeriesStart::kStarted, BeginSeries(series, SeriesDemand::kAlways));
    Waiter entry([&] { CloseSeries(series); });
    EXPECT_TRUE(entry.Blocked());
    EndSeries(series, {}, false);
    entry.Join();
    EXPECT_EQ(SeriesStart::kFinished, BeginSeries(series, SeriesDemand::kAlways));
}

}  // namespace
