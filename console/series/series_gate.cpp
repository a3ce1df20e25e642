#include "console/series/series_gate.h"

namespace {

// How soon a waiting trigger looks again while a series is being written.
constexpr uint64_t kBusyRetryMilliseconds = 200;

class LockHold {
  public:
    explicit LockHold(CRITICAL_SECTION* lock) : lock_(lock) { EnterCriticalSection(lock_); }
    ~LockHold() { LeaveCriticalSection(lock_); }
    LockHold(const LockHold&) = delete;
    LockHold& operator=(const LockHold&) = delete;

  private:
    CRITICAL_SECTION* lock_;
};

bool Finished(const WatchSeries& series) {
    const SeriesBudget& budget = series.budget;
    return series.closed || (budget.limit != 0 && budget.written >= budget.limit);
}

// With -q the run dumps at most once per quiet time, whichever process:
// a series of another process being written holds the triggers back too.
bool OthersHoldTheQuiet(const WatchSeries& series) {
    const SharedSeriesState& shared = series.shared;
    return shared.policy.quietSeconds != 0 && shared.running != 0;
}

void WaitWhileRunning(WatchSeries& series) {
    while (series.running) {
        SleepConditionVariableCS(&series.shared.seriesEnded, &series.shared.lock, INFINITE);
    }
}

void AddTally(SeriesTally& sum, const SeriesTally& tally) {
    sum.filesWritten += tally.filesWritten;
    sum.filesDeleted += tally.filesDeleted;
    sum.filesSkipped += tally.filesSkipped;
    sum.filesOverRate += tally.filesOverRate;
}

}  // namespace

SeriesStart BeginSeries(WatchSeries& series, SeriesDemand demand) {
    SharedSeriesState& shared = series.shared;
    LockHold hold(&shared.lock);
    if (demand == SeriesDemand::kAlways) {
        WaitWhileRunning(series);
    }
    if (Finished(series)) {
        return SeriesStart::kFinished;
    }
    if (series.running) {
        return SeriesStart::kBusy;
    }
    if (demand == SeriesDemand::kWhenArmed &&
        (GetTickCount64() < shared.quietUntil || OthersHoldTheQuiet(series))) {
        return SeriesStart::kQuiet;
    }
    series.running = true;
    ++series.seriesStarted;
    ++shared.running;
    ++shared.seriesStarted;
    return SeriesStart::kStarted;
}

void EndSeries(WatchSeries& series, const SeriesTally& tally, bool failed) {
    SharedSeriesState& shared = series.shared;
    {
        LockHold hold(&shared.lock);
        series.running = false;
        ++series.seriesWritten;
        ++series.budget.written;
        AddTally(series.tally, tally);
        --shared.running;
        ++shared.seriesWritten;
        AddTally(shared.tally, tally);
        shared.failed = shared.failed || failed;
        shared.quietUntil =
            GetTickCount64() + static_cast<uint64_t>(shared.policy.quietSeconds) * 1000;
    }
    WakeAllConditionVariable(&shared.seriesEnded);
}

bool SeriesFinished(WatchSeries& series) {
    LockHold hold(&series.shared.lock);
    return Finished(series);
}

uint32_t SeriesStartedCount(WatchSeries& series) {
    LockHold hold(&series.shared.lock);
    return series.seriesStarted;
}

uint64_t MillisecondsUntilArmed(WatchSeries& series) {
    const SharedSeriesState& shared = series.shared;
    LockHold hold(&series.shared.lock);
    if (series.running || OthersHoldTheQuiet(series)) {
        return kBusyRetryMilliseconds;
    }
    const uint64_t now = GetTickCount64();
    return now >= shared.quietUntil ? 0 : shared.quietUntil - now;
}

void MarkMonitorFailed(WatchSeries& series) {
    SharedSeriesState& shared = series.shared;
    LockHold hold(&shared.lock);
    series.monitorFailed = true;
    shared.failed = true;
    shared.monitorFailed = true;
}

void MarkRunFailed(SharedSeriesState& shared) {
    LockHold hold(&shared.lock);
    shared.failed = true;
}

void CloseSeries(WatchSeries& series) {
    LockHold hold(&series.shared.lock);
    series.closed = true;
    WaitWhileRunning(series);
}

SeriesSummary SummariseSeries(SharedSeriesState& shared) {
    LockHold hold(&shared.lock);
    return {shared.seriesWritten, shared.tally, shared.failed, shared.monitorFailed};
}

SeriesSummary SummariseSeries(WatchSeries& series) {
    LockHold hold(&series.shared.lock);
    return {series.seriesWritten, series.tally, series.monitorFailed, series.monitorFailed};
}
