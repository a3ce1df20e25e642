// What is decided before a file of a series is written: whether -rate and
// -free let it be, which name it takes, and what of that name's earlier
// dump must go. Taken in one step under the folder lock when a bound that
// other runs share is given, so that starts at the same moment each see the
// others' dumps.
#pragma once

#include <cstdint>

#include "console/dumpfolder/series_file_claim.h"
#include "console/dumpwriter/dump_request.h"
#include "console/retention/retention_policy.h"

enum class AdmissionOutcome {
    kAdmitted,  // the file is created and held open for the dump
    kOverRate,  // -rate: "Dump skipped: ..." printed
    kNoSpace,   // -free: its line printed
    kFailed,    // no name could be claimed: "Failed to create dump file" reported
};

struct Admission {
    AdmissionOutcome outcome = AdmissionOutcome::kFailed;
    uint32_t recent = 0;    // kOverRate: the dumps of the last hour
    uint64_t freeNow = 0;   // kNoSpace: the free megabytes seen
    bool inLedger = false;  // kAdmitted: entered in -rate's ledger
};

Admission AdmitSeriesFile(const DumpRequest& request, const RetentionPolicy& policy,
                          NumberingState& numbering, uint32_t index, uint64_t estimatedBytes,
                          SeriesFile* created);

// A file admitted whose dump was not written after all: it leaves the
// ledger again, under the folder lock.
void WithdrawAdmission(const DumpRequest& request, const Admission& admission, const wchar_t* file);
