#include "console/dumpfolder/sent_record.h"

#include <optional>

#include "common/bounded_text.h"
#include "common/small_file.h"
#include "common/replaced_file.h"
#include "common/utf8_text.h"
#include "console/report/json_text.h"

std::string SentRecordText(const SentRecord& record) {
    try {
        JsonObject object = {{"url", Utf8FromWide(record.url.c_str())}, {"status", record.status}};
        if (record.discarded.empty()) {
            object["id"] = record.id.empty() ? JsonObject(nullptr) : JsonObject(record.id);
        } else {
            object["id"] = nullptr;
            object["discarded"] = record.discarded;
        }
        object["time"] = record.time;
        object["bytes"] = record.bytes;
        std::string text = JsonText(object);
        if (!text.empty()) {
            text += '\n';
        }
        return text;
    } catch (...) {
        return std::string();  // out of memory
    }
}

bool IsSentRecordText(const std::string& text) {
    try {
        const JsonObject object = JsonObject::parse(text, nullptr, false);
        if (!object.is_object()) {
            return false;
        }
        for (const auto& field : object.items()) {
            const std::string& key = field.key();
            const JsonObject& value = field.value();
            const bool fits =
                ((key == "url" || key == "time" || key == "discarded") && value.is_string()) ||
                ((key == "status" || key == "bytes") && value.is_number_unsigned()) ||
                (key == "id" && (value.is_string() || value.is_null()));
            if (!fits) {
                return false;
            }
        }
        return object.contains("url") && object.contains("status") && object.contains("time") &&
               object.contains("bytes");
    } catch (...) {
        return false;  // out of memory
    }
}

bool SentRecordPaths(const wchar_t* dumpPath, wchar_t (&finalPath)[MAX_PATH],
                     wchar_t (&tempPath)[MAX_PATH]) {
    if (FormatBounded(finalPath, MAX_PATH, L"%s.sent", dumpPath) &&
        FormatBounded(tempPath, MAX_PATH, L"%s.sent.tmp", dumpPath)) {
        return true;
    }
    finalPath[0] = L'\0';
    tempPath[0] = L'\0';
    return false;
}

namespace {

// A record is a line; anything much larger is not ours.
constexpr DWORD kSentRecordLimit = 16 * 1024;

SentRecordState StateOfFile(const wchar_t* path) {
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? SentRecordState::kNone
                   : SentRecordState::kForeign;
    }
    DWORD error = 0;
    const std::optional<std::string> text = ReadSmallFile(path, kSentRecordLimit, &error);
    return text && IsSentRecordText(*text) ? SentRecordState::kOurs : SentRecordState::kForeign;
}

// Our temporary file: a whole record, or one cut short by a run that was
// ended while writing it (the text of a record is one line, and ends with
// the only line feed).
bool IsOurLeftover(const wchar_t* tempPath) {
    DWORD error = 0;
    const std::optional<std::string> text = ReadSmallFile(tempPath, kSentRecordLimit, &error);
    return text && (IsSentRecordText(*text) ||
                    (text->compare(0, 2, "{\"") == 0 && text->find('\n') == std::string::npos));
}

}  // namespace

SentRecordState SentRecordStateOf(const wchar_t* dumpPath) {
    wchar_t finalPath[MAX_PATH];
    wchar_t tempPath[MAX_PATH];
    // A dump whose record cannot even be named can never be recorded.
    return SentRecordPaths(dumpPath, finalPath, tempPath) ? StateOfFile(finalPath)
                                                          : SentRecordState::kForeign;
}

bool WriteSentRecord(const wchar_t* dumpPath, const SentRecord& record, DWORD* error) {
    wchar_t finalPath[MAX_PATH];
    wchar_t tempPath[MAX_PATH];
    if (!SentRecordPaths(dumpPath, finalPath, tempPath)) {
        *error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    const std::string text = SentRecordText(record);
    if (text.empty()) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    if (IsOurLeftover(tempPath)) {
        DeleteFileW(tempPath);  // a leftover of a run that stopped halfway
    }
    return WriteFileByRename(finalPath, tempPath, text, FinalFile::kKeepAway, error);
}

void DeleteOurSentRecords(const wchar_t* dumpPath) {
    wchar_t finalPath[MAX_PATH];
    wchar_t tempPath[MAX_PATH];
    if (!SentRecordPaths(dumpPath, finalPath, tempPath)) {
        return;
    }
    if (StateOfFile(finalPath) == SentRecordState::kOurs) {
        DeleteFileW(finalPath);
    }
    if (IsOurLeftover(tempPath)) {
        DeleteFileW(tempPath);
    }
}
