#include "console/retention/sent_record.h"

#include "common/bounded_text.h"
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

bool HasSentRecord(const wchar_t* dumpPath) {
    wchar_t finalPath[MAX_PATH];
    wchar_t tempPath[MAX_PATH];
    return SentRecordPaths(dumpPath, finalPath, tempPath) &&
           GetFileAttributesW(finalPath) != INVALID_FILE_ATTRIBUTES;
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
    return WriteFileByRename(finalPath, tempPath, text, error);
}
