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

bool Finished(const SharedSeriesState& series) {
    const uint32_t limit = series.policy.seriesLimit;
    return series.closed || (limit != 0 && series.seriesWritten >= limit);
}

void WaitWhileRunning(SharedSeriesState& series) {
    while (series.running) {
        SleepConditionVariableCS(&series.seriesEnded, &series.lock, INFINITE);
    }
}

}  // namespace

SeriesStart BeginSeries(SharedSeriesState& series, SeriesDemand demand) {
    LockHold hold(&series.lock);
    if (demand == SeriesDemand::kAlways) {
        WaitWhileRunning(series);
    }
    if (Finished(series)) {
        return SeriesStart::kFinished;
    }
    if (series.running) {
        return SeriesStart::kBusy;
    }
    if (demand == SeriesDemand::kWhenArmed && GetTickCount64() < series.quietUntil) {
        return SeriesStart::kQuiet;
    }
    series.running = true;
    ++series.seriesStarted;
    return SeriesStart::kStarted;
}

void EndSeries(SharedSeriesState& series, const SeriesTally& tally, bool failed) {
    {
        LockHold hold(&series.lock);
        series.running = false;
        ++series.seriesWritten;
        series.tally.filesWritten += tally.filesWritten;
        series.tally.filesDeleted += tally.filesDeleted;
        series.tally.filesSkipped += tally.filesSkipped;
        series.tally.filesOverRate += tally.filesOverRate;
        series.failed = series.failed || failed;
        series.quietUntil =
            GetTickCount64() + static_cast<uint64_t>(series.policy.quietSeconds) * 1000;
    }
    WakeAllConditionVariable(&series.seriesEnded);
}

bool SeriesFinished(SharedSeriesState& series) {
    LockHold hold(&series.lock);
    return Finished(series);
}

uint32_t SeriesStartedCount(SharedSeriesState& series) {
    LockHold hold(&series.lock);
    return series.seriesStarted;
}

uint64_t MillisecondsUntilArmed(SharedSeriesState& series) {
    LockHold hold(&series.lock);
    if (series.running) {
        return kBusyRetryMilliseconds;
    }
    const uint64_t now = GetTickCount64();
    return now >= series.quietUntil ? 0 : series.quietUntil - now;
}

void MarkMonitorFailed(SharedSeriesState& series) {
    LockHold hold(&series.lock);
    series.failed = true;
    series.monitorFailed = true;
}

void ReopenSeries(SharedSeriesState& series) {
    LockHold hold(&series.lock);
    series.closed = false;
}

void CloseSeries(SharedSeriesState& series) {
    LockHold hold(&series.lock);
    series.closed = true;
    WaitWhileRunning(series);
}

SeriesSummary SummariseSeries(SharedSeriesState& series) {
    LockHold hold(&series.lock);
    return {series.seriesWritten, series.tally, series.failed, series.monitorFailed};
}
