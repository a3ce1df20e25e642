#include "console/dumpwriter/dump_metadata.h"

#include "common/bounded_text.h"
#include "common/replaced_file.h"
#include "common/small_file.h"
#include "common/utc_time.h"
#include "common/utf8_text.h"
#include "common/version.h"
#include "console/report/error_report.h"
#include "console/report/json_text.h"

namespace {

#ifdef _WIN64
constexpr char kBuild[] = "x64";
#else
constexpr char kBuild[] = "x86";
#endif

FILETIME FileTimeOf(uint64_t ticks) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

JsonObject ProcessObject(const MetadataProcess& process) {
    JsonObject object = {{"id", process.id}, {"name", Utf8FromWide(process.name.c_str())}};
    if (process.image) {
        object["image"] = Utf8FromWide(process.image->c_str());
    } else {
        object["image"] = nullptr;
    }
    std::string created;
    if (process.created && FormatUtcTime(FileTimeOf(*process.created), &created)) {
        object["created"] = created;
    }
    return object;
}

JsonObject TriggerObject(const MetadataTrigger& trigger) {
    JsonObject object = {{"kind", trigger.kind}};
    if (trigger.direction != 0) {
        object["direction"] = trigger.direction > 0 ? "above" : "below";
    }
    if (trigger.threshold) {
        object["threshold"] = JsonNumber(*trigger.threshold);
    }
    if (trigger.value) {
        object["value"] = JsonNumber(*trigger.value);
    }
    if (trigger.seconds) {
        object["seconds"] = *trigger.seconds;
    }
    return object;
}

JsonObject ExceptionObject(const MetadataException& exception) {
    return {{"code", exception.code},
            {"name", Utf8FromWide(ExceptionName(exception.code))},
            {"firstChance", exception.firstChance},
            {"threadId", exception.threadId},
            {"address", exception.address}};
}

JsonObject DumpObject(const MetadataDump& dump) {
    return {{"path", Utf8FromWide(dump.path.c_str())},
            {"type", dump.type},
            {"bytes", dump.bytes},
            {"series", dump.series},
            {"file", dump.file},
            {"started", FormatUtcTime(dump.started)},
            {"finished", FormatUtcTime(dump.finished)},
            {"milliseconds", dump.milliseconds}};
}

}  // namespace

MetadataTrigger TriggerOfKind(const char* kind) {
    MetadataTrigger trigger;
    trigger.kind = kind;
    return trigger;
}

std::string MetadataText(const DumpMetadata& metadata) {
    try {
        JsonObject object = {{"tool", "varnhold"},
                             {"version", VARNHOLD_VERSION},
                             {"build", kBuild},
                             {"handedOver", metadata.handedOver},
                             {"host", Utf8FromWide(metadata.host.c_str())},
                             {"commandLine", Utf8FromWide(metadata.commandLine.c_str())},
                             {"process", ProcessObject(metadata.process)},
                             {"trigger", TriggerObject(metadata.trigger)}};
        if (metadata.exception) {
            object["exception"] = ExceptionObject(*metadata.exception);
        }
        if (!metadata.signature.empty()) {
            object["signature"] = metadata.signature;
        }
        object["dump"] = DumpObject(metadata.dump);
        std::string text = JsonText(object, 2);
        if (!text.empty()) {
            text += '\n';
        }
        return text;
    } catch (...) {
        return std::string();  // out of memory
    }
}

bool IsMetadataText(const std::string& text) {
    try {
        const JsonObject object = JsonObject::parse(text, nullptr, false);
        const auto tool = object.is_object() ? object.find("tool") : object.end();
        return tool != object.end() && tool->is_string() && tool->get<std::string>() == "varnhold";
    } catch (...) {
        return false;  // out of memory
    }
}

bool IsMetadataLeftover(const std::string& text) {
    // Every metadata file of ours starts with its tool, so even a file cut
    // short by a run that was ended while writing it says whose it is.
    const char head[] = "{\n  \"tool\": \"varnhold\"";
    return IsMetadataText(text) || text.compare(0, sizeof(head) - 1, head) == 0;
}

void DeleteMetadataLeftover(const wchar_t* tempPath) {
    DWORD error = 0;
    const std::optional<std::string> text = ReadSmallFile(tempPath, kMetadataFileLimit, &error);
    if (text && IsMetadataLeftover(*text)) {
        DeleteFileW(tempPath);
    }
}

bool MetadataFilePaths(const wchar_t* dumpPath, wchar_t (&finalPath)[MAX_PATH],
                       wchar_t (&tempPath)[MAX_PATH]) {
    if (FormatBounded(finalPath, MAX_PATH, L"%s.json", dumpPath) &&
        FormatBounded(tempPath, MAX_PATH, L"%s.json.tmp", dumpPath)) {
        return true;
    }
    finalPath[0] = L'\0';
    tempPath[0] = L'\0';
    return false;
}

bool WriteMetadataFile(const wchar_t* dumpPath, const std::string& text, DWORD* error) {
    wchar_t finalPath[MAX_PATH];
    wchar_t tempPath[MAX_PATH];
    if (!MetadataFilePaths(dumpPath, finalPath, tempPath)) {
        *error = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    if (text.empty()) {
        *error = ERROR_INVALID_PARAMETER;
        return false;
    }
    DeleteMetadataLeftover(tempPath);
    // The dump's name is claimed by this run and the stale metadata of ours
    // deleted then: a file under the final name now is not ours to replace.
    return WriteFileByRename(finalPath, tempPath, text, FinalFile::kKeepAway, error);
}
