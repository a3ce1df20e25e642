// -rate: at most so many dumps in any hour. The folder is the state that
// separate runs share (every postmortem start is a run of its own): its
// ledger counts the dumps of the runs with -rate, which -keep cannot erase,
// and the dumps of ours it holds count too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/dumpfolder/our_dumps.h"
#include "console/dumpfolder/rate_ledger.h"
#include "console/retention/retention_policy.h"

constexpr uint64_t kHourIn100ns = 36000000000ull;

// The dumps of ours from the hour before now (100 ns units): every ledger
// entry of that hour, and every dump of ours in the folder from that hour
// that the ledger does not name at all (one written by a run without
// -rate). A time exactly an hour old no longer counts; one after now (the
// clock was set back since) counts: it is recent.
uint32_t DumpsInLastHour(const std::vector<DumpCandidate>& folder,
                         const std::vector<LedgerEntry>& ledger, uint64_t now);

// The decision for one more dump, taken under the folder lock and kept
// until its name is claimed.
class RateDecision {
  public:
    // True when one more dump beside dumpPath keeps within ratePerHour;
    // otherwise prints "Dump skipped: ..." and returns false. recent() is
    // the number of dumps of the last hour.
    bool Allows(const wchar_t* dumpPath, KeptFiles kept, uint32_t ratePerHour);
    uint32_t recent() const { return recent_; }

    // Enters the dump just claimed in the ledger, so that the next start
    // counts it even once -keep has deleted it.
    void Enter(const wchar_t* dumpPath, const wchar_t* claimedFile);

  private:
    std::vector<LedgerEntry> ledger_;
    bool ledgerOurs_ = false;
    uint64_t now_ = 0;
    uint32_t recent_ = 0;
};

// A dump entered in the ledger was not written after all: it no longer
// counts. Under the folder lock.
void RemoveFromRateLedger(const wchar_t* dumpPath, const wchar_t* file);
