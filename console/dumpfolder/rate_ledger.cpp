#include "console/dumpfolder/rate_ledger.h"

#include <algorithm>
#include <cstring>

#include "common/bounded_text.h"
#include "common/replaced_file.h"
#include "common/small_file.h"
#include "common/utf8_text.h"
#include "console/dumpfolder/folder_files.h"

namespace {

constexpr uint64_t kHourIn100ns = 36000000000ull;
constexpr char kLedgerHead[] = "varnhold -rate ledger\n";
// A ledger at its largest: some hundred bytes an entry.
constexpr DWORD kLedgerLimit = 4 * 1024 * 1024;
// A held ledger is tried again every 25 ms for at most a second.
constexpr int kLedgerWriteAttempts = 40;
constexpr DWORD kLedgerWriteRetryMs = 25;

bool LedgerPaths(const wchar_t* dumpPath, wchar_t (&finalPath)[MAX_PATH],
                 wchar_t (&tempPath)[MAX_PATH]) {
    const std::wstring name = kRateLedgerFileName;
    return PathBesideDumpPath(dumpPath, name, finalPath) &&
           PathBesideDumpPath(dumpPath, name + L".tmp", tempPath);
}

}  // namespace

std::string RateLedgerText(const std::vector<LedgerEntry>& entries) {
    try {
        std::string text = kLedgerHead;
        for (const LedgerEntry& entry : entries) {
            text += std::to_string(entry.written) + ' ' + Utf8FromWide(entry.name.c_str()) + '\n';
        }
        return text;
    } catch (...) {
        return std::string();  // out of memory
    }
}

std::optional<std::vector<LedgerEntry>> ParseRateLedger(const std::string& text) {
    const std::string head = kLedgerHead;
    if (text.compare(0, head.size(), head) != 0) {
        return std::nullopt;
    }
    std::vector<LedgerEntry> entries;
    for (size_t at = head.size(); at < text.size();) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            return std::nullopt;  // cut short: not a ledger we wrote whole
        }
        const std::string line = text.substr(at, end - at);
        const size_t blank = line.find(' ');
        uint64_t written = 0;
        if (blank == 0 || blank == std::string::npos || blank + 1 == line.size()) {
            return std::nullopt;
        }
        for (size_t i = 0; i < blank; ++i) {
            if (line[i] < '0' || line[i] > '9' || written > (UINT64_MAX - 9) / 10) {
                return std::nullopt;
            }
            written = written * 10 + static_cast<uint64_t>(line[i] - '0');
        }
        entries.push_back({WideFromUtf8(line.c_str() + blank + 1), written});
        at = end + 1;
    }
    return entries;
}

std::vector<LedgerEntry> PrunedLedger(std::vector<LedgerEntry> entries, uint64_t now) {
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [now](const LedgerEntry& entry) {
                                     return entry.written > now
                                                ? entry.written - now > kHourIn100ns
                                                : now - entry.written >= kHourIn100ns;
                                 }),
                  entries.end());
    if (entries.size() > kMostLedgerEntries) {
        std::stable_sort(
            entries.begin(), entries.end(),
            [](const LedgerEntry& a, const LedgerEntry& b) { return a.written > b.written; });
        entries.resize(kMostLedgerEntries);
    }
    return entries;
}

LedgerRead ReadRateLedger(const wchar_t* dumpPath, std::vector<LedgerEntry>* entries) {
    entries->clear();
    wchar_t finalPath[MAX_PATH];
    wchar_t tempPath[MAX_PATH];
    if (!LedgerPaths(dumpPath, finalPath, tempPath)) {
        return LedgerRead::kForeign;
    }
    DWORD error = 0;
    const std::optional<std::string> text = ReadSmallFile(finalPath, kLedgerLimit, &error);
    if (!text) {
        return error == ERROR_FILE_NOT_FOUND ? LedgerRead::kRead : LedgerRead::kForeign;
    }
    std::optional<std::vector<LedgerEntry>> parsed = ParseRateLedger(*text);
    if (!parsed) {
        return LedgerRead::kForeign;
    }
    *entries = std::move(*parsed);
    return LedgerRead::kRead;
}

bool WriteRateLedger(const wchar_t* dumpPath, const std::vector<LedgerEntry>& entries,
                     DWORD* error) {
    wchar_t finalPath[MAX_PATH];
    wchar_t tempPath[MAX_PATH];
    if (!LedgerPaths(dumpPath, finalPath, tempPath)) {
        *error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    const std::string text = RateLedgerText(entries);
    if (text.empty()) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    // Under the folder lock no other run writes the temporary file: one
    // left there is a run's that was ended while writing it, if it is ours.
    DWORD readError = 0;
    const std::optional<std::string> leftover = ReadSmallFile(tempPath, kLedgerLimit, &readError);
    if (leftover && leftover->compare(0, strlen(kLedgerHead), kLedgerHead) == 0) {
        DeleteFileW(tempPath);
    }
    // Another run's scan of the folder (a -send, a -keep pass) may hold the
    // ledger open for a moment, and the system then refuses to replace it:
    // a ledger left unwritten would let -rate pass one dump too many, so
    // the write is tried again for a while.
    for (int attempt = 1;; ++attempt) {
        if (WriteFileByRename(finalPath, tempPath, text, FinalFile::kReplace, error)) {
            return true;
        }
        const bool held = *error == ERROR_ACCESS_DENIED || *error == ERROR_SHARING_VIOLATION;
        if (!held || attempt == kLedgerWriteAttempts) {
            return false;
        }
        Sleep(kLedgerWriteRetryMs);
    }
}
