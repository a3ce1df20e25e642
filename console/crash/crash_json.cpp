#include "console/crash/crash_json.h"

#include "common/utf8_text.h"

namespace {

JsonObject FrameObject(const StackFrame& frame) {
    JsonObject object =
        frame.module.empty()
            ? JsonObject{{"address", frame.address}}
            : JsonObject{{"module", Utf8FromWide(frame.module.c_str())}, {"offset", frame.offset}};
    if (frame.found == FrameFound::kFramePointer) {
        object["found"] = "framePointer";
    }
    return object;
}

}  // namespace

JsonObject CrashObject(const CrashReport& report) {
    JsonObject frames = JsonObject::array();
    for (const StackFrame& frame : report.frames) {
        frames.push_back(FrameObject(frame));
    }
    JsonObject object = {{"reason", CrashReasonText(report)}};
    object["address"] = report.reason.address ? JsonObject(*report.reason.address) : nullptr;
    object["frames"] = std::move(frames);
    if (const wchar_t* why = StackEndText(report.end)) {
        object["incomplete"] = Utf8FromWide(why);
    }
    return object;
}

std::string CrashReasonText(const CrashReport& report) {
    return Utf8FromWide(ReasonText(report).c_str());
}

std::string TopFrameText(const CrashReport& report) {
    return report.frames.empty()
               ? std::string()
               : Utf8FromWide(FrameText(report.frames.front(), report.wideAddresses).c_str());
}
