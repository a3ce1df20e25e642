// The form a crash server takes a dump in: multipart/form-data with the dump
// as the file part "upload_file_minidump", a text part per fact, and the
// dump's metadata as one more file part. Typed application/octet-stream on
// purpose: some servers let a part typed as JSON replace all text parts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "console/dumpwriter/dump_facts.h"

struct FormField {
    std::string name;
    std::string value;  // UTF-8
};

struct FormFile {
    std::string name;
    std::string fileName;  // UTF-8, as the server will store it
};

constexpr char kDumpPartName[] = "upload_file_minidump";
constexpr char kMetadataPartName[] = "varnhold_metadata";

// What the machine that took the dump knows beyond the dump itself.
struct DumpOrigin {
    std::string triggerKind;  // the metadata's trigger kind ("cpu", "exception", ...)
    std::wstring host;
    // How long the process had run when the dump started, from the creation
    // time the system gave the run; none when it gave none.
    std::optional<uint64_t> processMilliseconds;
};

// The text parts, in the order they are sent: prod, ver, ptime (the
// origin's, else the dump's own when it holds the process's creation time;
// none without either), varnhold_version, host, trigger, exception_code (8
// hex digits, with an exception only), signature.
std::vector<FormField> UploadFields(const DumpFacts& facts, const DumpOrigin& origin);

// A boundary that no dump or text will contain by chance: 128 random bits.
std::string FormBoundary(uint64_t randomHigh, uint64_t randomLow);

// "multipart/form-data; boundary=<boundary>"
std::string FormContentType(const std::string& boundary);

// A whole text part, its line end included.
std::string FieldPartText(const std::string& boundary, const FormField& field);

// A file part's head; the file's bytes follow, then kPartEnd.
std::string FilePartHead(const std::string& boundary, const FormFile& file);
constexpr char kPartEnd[] = "\r\n";

// The line that ends the form.
std::string FormEndText(const std::string& boundary);
