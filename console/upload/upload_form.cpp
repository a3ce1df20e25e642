#include "console/upload/upload_form.h"

#include "common/utf8_text.h"
#include "common/version.h"

namespace {

std::string Hex(uint64_t value, int digits, const char* alphabet) {
    std::string text(static_cast<size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) {
        text[static_cast<size_t>(i)] = alphabet[value & 0xF];
    }
    return text;
}

// A name inside the quotes of a Content-Disposition header: quotes and line
// ends are percent-encoded, as browsers send them.
std::string QuotedHeaderValue(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') {
            quoted += "%22";
        } else if (c == '\r') {
            quoted += "%0D";
        } else if (c == '\n') {
            quoted += "%0A";
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

}  // namespace

std::vector<FormField> UploadFields(const DumpFacts& facts, const DumpOrigin& origin) {
    std::vector<FormField> fields = {
        {"prod", Utf8FromWide(ProductName(facts).c_str())},
        {"ver", Utf8FromWide(VersionText(facts).c_str())},
    };
    // The run's own figure has milliseconds; the dump's has whole seconds.
    const std::optional<uint64_t> ptime =
        origin.processMilliseconds ? origin.processMilliseconds : facts.processMilliseconds;
    if (ptime) {
        fields.push_back({"ptime", std::to_string(*ptime)});
    }
    fields.push_back({"varnhold_version", VARNHOLD_VERSION});
    fields.push_back({"host", Utf8FromWide(origin.host.c_str())});
    fields.push_back({"trigger", origin.triggerKind});
    if (facts.fault) {
        fields.push_back({"exception_code", Hex(facts.fault->code, 8, "0123456789ABCDEF")});
    }
    fields.push_back({"signature", DumpSignature(facts, origin.triggerKind)});
    return fields;
}

std::string FormBoundary(uint64_t randomHigh, uint64_t randomLow) {
    const char* alphabet = "0123456789abcdef";
    return "varnhold-" + Hex(randomHigh, 16, alphabet) + Hex(randomLow, 16, alphabet);
}

std::string FormContentType(const std::string& boundary) {
    return "multipart/form-data; boundary=" + boundary;
}

std::string FieldPartText(const std::string& boundary, const FormField& field) {
    return "--" + boundary +
           "\r\nContent-Disposition: form-data; name=" + QuotedHeaderValue(field.name) +
           "\r\n\r\n" + field.value + kPartEnd;
}

std::string FilePartHead(const std::string& boundary, const FormFile& file) {
    return "--" + boundary +
           "\r\nContent-Disposition: form-data; name=" + QuotedHeaderValue(file.name) +
           "; filename=" + QuotedHeaderValue(file.fileName) +
           "\r\nContent-Type: application/octet-stream\r\n\r\n";
}

std::string FormEndText(const std::string& boundary) {
    return "--" + boundary + "--\r\n";
}
