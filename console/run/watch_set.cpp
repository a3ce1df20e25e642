#include "console/run/watch_set.h"

#include <new>

#include "common/stop_signal.h"
#include "console/report/error_report.h"

std::unique_ptr<ProcessWatch> WatchSet::Make(SharedSeriesState& shared, SeriesBudget* runBudget,
                                             uint32_t seriesLimit) {
    std::unique_ptr<ProcessWatch> watch(new (std::nothrow)
                                            ProcessWatch(shared, runBudget, seriesLimit));
    if (!watch) {
        ReportWin32Error(L"Failed to allocate memory", ERROR_NOT_ENOUGH_MEMORY);
    }
    return watch;
}

void WatchSet::Add(std::unique_ptr<ProcessWatch> watch) {
    watches_.push_back(std::move(watch));
}

bool WatchSet::Holds(uint32_t processId) const {
    for (const std::unique_ptr<ProcessWatch>& watch : watches_) {
        if (watch->identity.id == processId) {
            return true;
        }
    }
    return false;
}

std::unique_ptr<ProcessWatch> WatchSet::TakeEnded() {
    for (auto it = watches_.begin(); it != watches_.end(); ++it) {
        if (WatchEnded(**it)) {
            std::unique_ptr<ProcessWatch> ended = std::move(*it);
            watches_.erase(it);
            return ended;
        }
    }
    return nullptr;
}

void WatchSet::WaitForEveryEnd() const {
    for (const std::unique_ptr<ProcessWatch>& watch : watches_) {
        if (watch->supervisor) {
            WaitForSingleObject(watch->supervisor.Get(), INFINITE);
        }
    }
}

void WatchSet::StopEvery() const {
    for (const std::unique_ptr<ProcessWatch>& watch : watches_) {
        RaiseStop(watch->stop.Get());
    }
}

void WatchSet::KeepForever(std::unique_ptr<ProcessWatch> watch) {
    keptForever_.push_back(std::move(watch));
}
