#include "console/retention/dump_rate.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cwchar>

#include "common/console_output.h"
#include "common/file_time_ticks.h"
#include "console/dumpfolder/folder_files.h"
#include "console/dumpfolder/series_files.h"
#include "console/report/error_report.h"

namespace {

bool Recent(uint64_t written, uint64_t now) {
    return written > now || now - written < kHourIn100ns;
}

bool Named(const std::vector<LedgerEntry>& ledger, const std::wstring& name) {
    return std::any_of(ledger.begin(), ledger.end(), [&name](const LedgerEntry& entry) {
        return _wcsicmp(entry.name.c_str(), name.c_str()) == 0;
    });
}

uint64_t Now() {
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    return FileTimeTicks(now);
}

void ReportLedgerWriteFailure(DWORD error) {
    ReportWin32Error(L"Failed to write the -rate ledger of the dump folder", error);
}

}  // namespace

uint32_t DumpsInLastHour(const std::vector<DumpCandidate>& folder,
                         const std::vector<LedgerEntry>& ledger, uint64_t now) {
    uint32_t recent = 0;
    for (const LedgerEntry& entry : ledger) {
        recent += Recent(entry.written, now) ? 1 : 0;
    }
    for (const DumpCandidate& candidate : folder) {
        if (candidate.ours && Recent(candidate.written, now) && !Named(ledger, candidate.name)) {
            ++recent;
        }
    }
    return recent;
}

bool RateDecision::Allows(const wchar_t* dumpPath, KeptFiles kept, uint32_t ratePerHour) {
    now_ = Now();
    std::vector<LedgerEntry> entries;
    ledgerOurs_ = ReadRateLedger(dumpPath, &entries) == LedgerRead::kRead;
    if (!ledgerOurs_) {
        PrintWide(
            L"The -rate ledger %s of the dump folder is not ours; it is left alone and only "
            L"the dumps in the folder are counted.\n",
            kRateLedgerFileName);
    }
    ledger_ = PrunedLedger(std::move(entries), now_);
    // Only the dumps of this run's naming count; other runs may share the
    // folder with a naming of their own.
    const std::wstring baseName = DumpBaseName(dumpPath);
    const std::wstring plainName = PathFindFileNameW(dumpPath);
    std::vector<LedgerEntry> counted;
    for (const LedgerEntry& entry : ledger_) {
        if (HasKeptNaming(entry.name, kept, baseName, plainName)) {
            counted.push_back(entry);
        }
    }
    recent_ = DumpsInLastHour(OurDumpsBeside(dumpPath, kept), counted, now_);
    if (recent_ < ratePerHour) {
        return true;
    }
    PrintWide(L"Dump skipped: %u dumps in the last hour, -rate allows %u.\n", recent_, ratePerHour);
    return false;
}

void RateDecision::Enter(const wchar_t* dumpPath, const wchar_t* claimedFile) {
    if (!ledgerOurs_) {
        return;
    }
    ledger_.push_back({PathFindFileNameW(claimedFile), now_});
    DWORD error = 0;
    if (!WriteRateLedger(dumpPath, PrunedLedger(ledger_, now_), &error)) {
        ReportLedgerWriteFailure(error);
    }
}

void RemoveFromRateLedger(const wchar_t* dumpPath, const wchar_t* file) {
    std::vector<LedgerEntry> entries;
    if (ReadRateLedger(dumpPath, &entries) != LedgerRead::kRead) {
        return;
    }
    // A plain name taken again stands more than once: the newest is this one.
    const std::wstring name = PathFindFileNameW(file);
    const auto entry = std::find_if(
        entries.rbegin(), entries.rend(),
        [&name](const LedgerEntry& e) { return _wcsicmp(e.name.c_str(), name.c_str()) == 0; });
    if (entry == entries.rend()) {
        return;
    }
    entries.erase(std::next(entry).base());
    DWORD error = 0;
    if (!WriteRateLedger(dumpPath, entries, &error)) {
        ReportLedgerWriteFailure(error);
    }
}
