// -rate's ledger: the dumps that runs with -rate wrote into a folder in the
// last hour, kept in a file of ours in that folder, where -keep (which
// deletes dumps) cannot erase them from the count. Read and written only
// under the folder lock; a dump is entered when its name is claimed, so
// that starts at the same moment see each other.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

constexpr wchar_t kRateLedgerFileName[] = L"varnhold-rate.txt";
// Far more than any -rate that keeps a machine usable; the oldest go first.
constexpr size_t kMostLedgerEntries = 10000;

struct LedgerEntry {
    std::wstring name;  // the dump's file name, without directory
    uint64_t written;   // when its name was claimed, FILETIME ticks (UTC)
};

// The file's text: the line "varnhold -rate ledger", then a line per dump:
// its time in FILETIME ticks, a blank, its name in UTF-8. A file name holds
// no line feed, so a line is one entry. Empty only when memory ran out.
std::string RateLedgerText(const std::vector<LedgerEntry>& entries);

// The entries of a ledger of ours; none for any other text.
std::optional<std::vector<LedgerEntry>> ParseRateLedger(const std::string& text);

// What still counts at now: the entries of the hour before it, and those at
// most an hour ahead of it (the clock was set back since; further ahead is a
// clock that was wrong, which would otherwise hold -rate shut for good),
// at most kMostLedgerEntries of the newest.
std::vector<LedgerEntry> PrunedLedger(std::vector<LedgerEntry> entries, uint64_t now);

enum class LedgerRead {
    kRead,     // the entries (none when the folder has no ledger yet)
    kForeign,  // a file of that name that is not ours: it is left alone
};

// The ledger of the folder that holds dumpPath.
LedgerRead ReadRateLedger(const wchar_t* dumpPath, std::vector<LedgerEntry>* entries);

// Writes it through a temporary name and a rename. False with the system
// error; the old ledger then stands.
bool WriteRateLedger(const wchar_t* dumpPath, const std::vector<LedgerEntry>& entries,
                     DWORD* error);
