#include "console/upload/dump_origin.h"

#include <windows.h>

#include "common/utc_time.h"
#include "console/report/json_text.h"

namespace {

// The string at object[first][second] (or object[first] without a second).
std::string StringAt(const JsonObject& object, const char* first, const char* second) {
    if (!object.is_object() || !object.contains(first)) {
        return std::string();
    }
    const JsonObject* value = &object[first];
    if (second != nullptr) {
        if (!value->is_object() || !value->contains(second)) {
            return std::string();
        }
        value = &(*value)[second];
    }
    return value->is_string() ? value->get<std::string>() : std::string();
}

std::wstring WideFromUtf8(const std::string& text) {
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                            length);
    }
    return wide;
}

// From the process's creation to the start of the dump, as the metadata
// tells them.
std::optional<uint64_t> RunningMilliseconds(const JsonObject& metadata) {
    uint64_t created = 0;
    uint64_t started = 0;
    if (!ParseUtcTime(StringAt(metadata, "process", "created"), &created) ||
        !ParseUtcTime(StringAt(metadata, "dump", "started"), &started) || started < created) {
        return std::nullopt;
    }
    return (started - created) / 10000;
}

}  // namespace

DumpOrigin CompletedOrigin(DumpOrigin given, const std::string& metadataText,
                           const std::wstring& thisHost) {
    JsonObject metadata;
    try {
        // A damaged file parses as "discarded", which has none of the fields.
        metadata = JsonObject::parse(metadataText, nullptr, false);
    } catch (...) {
        // Only memory can run out here; the fields are then filled as without a file.
    }
    if (given.triggerKind.empty()) {
        given.triggerKind = StringAt(metadata, "trigger", "kind");
    }
    if (given.triggerKind.empty()) {
        given.triggerKind = "unknown";
    }
    if (given.host.empty()) {
        given.host = WideFromUtf8(StringAt(metadata, "host", nullptr));
    }
    if (given.host.empty()) {
        given.host = thisHost;
    }
    if (!given.processMilliseconds) {
        given.processMilliseconds = RunningMilliseconds(metadata);
    }
    return given;
}
