#include "console/dumpfolder/rate_ledger.h"

#include <algorithm>

#include "common/bounded_text.h"
#include "common/replaced_file.h"
#include "common/small_file.h"
#include "common/utf8_text.h"
#include "console/dumpfolder/folder_files.h"
#include "console/report/json_text.h"

namespace {

constexpr uint64_t kHourIn100ns = 36000000000ull;
// A ledger at its largest: some hundred bytes an entry.
constexpr DWORD kLedgerLimit = 4 * 1024 * 1024;

bool LedgerPaths(const wchar_t* dumpPath, wchar_t (&finalPath)[MAX_PATH],
                 wchar_t (&tempPath)[MAX_PATH]) {
    const std::wstring name = kRateLedgerFileName;
    return PathBesideDumpPath(dumpPath, name, finalPath) &&
           PathBesideDumpPath(dumpPath, name + L".tmp", tempPath);
}

}  // namespace

std::string RateLedgerText(const std::vector<LedgerEntry>& entries) {
    try {
        JsonObject dumps = JsonObject::array();
        for (const LedgerEntry& entry : entries) {
            dumps.push_back(
                {{"name", Utf8FromWide(entry.name.c_str())}, {"written", entry.written}});
        }
        std::string text = JsonText(JsonObject{{"tool", "varnhold"}, {"rate", dumps}});
        if (!text.empty()) {
            text += '\n';
        }
        return text;
    } catch (...) {
        return std::string();  // out of memory
    }
}

std::optional<std::vector<LedgerEntry>> ParseRateLedger(const std::string& text) {
    try {
        const JsonObject object = JsonObject::parse(text, nullptr, false);
        if (!object.is_object() || object.value("tool", JsonObject()) != "varnhold" ||
            !object.contains("rate") || !object["rate"].is_array()) {
            return std::nullopt;
        }
        std::vector<LedgerEntry> entries;
        for (const JsonObject& dump : object["rate"]) {
            if (!dump.is_object() || !dump.contains("name") || !dump["name"].is_string() ||
                !dump.contains("written") || !dump["written"].is_number_unsigned()) {
                return std::nullopt;
            }
            entries.push_back({WideFromUtf8(dump["name"].get<std::string>().c_str()),
                               dump["written"].get<uint64_t>()});
        }
        return entries;
    } catch (...) {
        return std::nullopt;  // out of memory
    }
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
    if (leftover && leftover->compare(0, 18, "{\"tool\":\"varnhold\"") == 0) {
        DeleteFileW(tempPath);
    }
    return WriteFileByRename(finalPath, tempPath, text, FinalFile::kReplace, error);
}
