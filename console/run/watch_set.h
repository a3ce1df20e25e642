// The processes a run watches: one at a time, or with -all every process of
// the name at once. The set owns each watch from its start until its
// supervisor has ended; then the watch is let go of (its handles, the
// record its threads read, its memory), so that a process that has gone
// leaves nothing behind. Only the entry thread uses the set.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "console/run/process_watch.h"

class WatchSet {
  public:
    WatchSet() = default;
    WatchSet(const WatchSet&) = delete;
    WatchSet& operator=(const WatchSet&) = delete;

    // A new watch, not yet in the set; null, reported, when memory ran out.
    static std::unique_ptr<ProcessWatch> Make(SharedSeriesState& shared, SeriesBudget* runBudget,
                                              uint32_t seriesLimit);

    void Add(std::unique_ptr<ProcessWatch> watch);
    size_t Count() const { return watches_.size(); }
    bool Holds(uint32_t processId) const;

    // One watch whose supervisor has ended, taken out of the set; null when
    // none has.
    std::unique_ptr<ProcessWatch> TakeEnded();
    // Waits until every watch's supervisor has ended.
    void WaitForEveryEnd() const;
    // Tells every watch to end (as its process's exit would).
    void StopEvery() const;

    // A watch one of whose threads outlived its grace: it may still read
    // the watch, which is therefore kept until the program ends.
    void KeepForever(std::unique_ptr<ProcessWatch> watch);
    bool KeptAny() const { return !keptForever_.empty(); }

  private:
    std::vector<std::unique_ptr<ProcessWatch>> watches_;
    std::vector<std::unique_ptr<ProcessWatch>> keptForever_;
};
