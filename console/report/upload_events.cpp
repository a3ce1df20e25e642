#include "console/report/upload_events.h"

#include "common/utf8_text.h"

namespace {

// A signature is left out until the dump could be read.
void AddSignature(JsonObject* fields, const std::string& signature) {
    if (!signature.empty()) {
        (*fields)["signature"] = signature;
    }
}

std::string Utf8(const std::wstring& text) {
    return Utf8FromWide(text.c_str(), text.size());
}

}  // namespace

void LogUploadSent(EventLog* log, const std::wstring& path, const std::wstring& url,
                   uint32_t status, const std::string& id, uint64_t bytes,
                   const std::string& signature) {
    if (log == nullptr || !log->IsOpen()) {
        return;
    }
    try {
        JsonObject fields = {{"path", Utf8(path)},
                             {"url", Utf8(url)},
                             {"status", status},
                             {"id", id},
                             {"bytes", bytes}};
        AddSignature(&fields, signature);
        log->Write("upload_sent", fields);
    } catch (...) {
        // Only memory can run out here; the line is lost as a failed write would be.
    }
}

void LogUploadFailed(EventLog* log, const std::wstring& path, const std::wstring& error, bool retry,
                     const std::string& signature) {
    if (log == nullptr || !log->IsOpen()) {
        return;
    }
    try {
        JsonObject fields = {{"path", Utf8(path)}, {"error", Utf8(error)}, {"retry", retry}};
        AddSignature(&fields, signature);
        log->Write("upload_failed", fields);
    } catch (...) {
        // As above.
    }
}

void LogUploadRejected(EventLog* log, const std::wstring& path, uint32_t status,
                       const std::wstring& reason, const std::string& signature) {
    if (log == nullptr || !log->IsOpen()) {
        return;
    }
    try {
        JsonObject fields = {{"path", Utf8(path)}, {"status", status}, {"reason", Utf8(reason)}};
        AddSignature(&fields, signature);
        log->Write("upload_rejected", fields);
    } catch (...) {
        // As above.
    }
}

void LogUploadSkipped(EventLog* log, const std::wstring& path, const std::wstring& reason) {
    if (log == nullptr || !log->IsOpen()) {
        return;
    }
    try {
        log->Write("upload_skipped", JsonObject{{"path", Utf8(path)}, {"reason", Utf8(reason)}});
    } catch (...) {
        // Only memory can run out here; the line is lost as a failed write would be.
    }
}
