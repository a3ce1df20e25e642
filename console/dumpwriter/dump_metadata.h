// The metadata file beside a dump (-meta): "<dump file>.json", one JSON
// object saying which process was dumped, why, and how the write went.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

struct MetadataProcess {
    uint32_t id = 0;
    std::wstring name;
    std::optional<std::wstring> image;  // full image path; null in the file when unknown
    // When the process was created, as FILETIME ticks (UTC); left out of the
    // file when the system gave no time.
    std::optional<uint64_t> created;
};

struct MetadataTrigger {
    // "manual", "cpu", "commit", "counter", "hungWindow", "jit", "exception"
    // or "termination".
    std::string kind;
    // The trigger sign of cpu, commit and counter: +1 "above", -1 "below";
    // 0 for the other kinds leaves it out.
    int32_t direction = 0;
    std::optional<double> threshold;
    std::optional<double> value;
    std::optional<uint32_t> seconds;  // consecutive seconds (cpu)
};

// A trigger that is only its kind ("manual", "hungWindow", "jit",
// "exception", "termination").
MetadataTrigger TriggerOfKind(const char* kind);

struct MetadataException {
    uint32_t code = 0;
    bool firstChance = false;
    uint32_t threadId = 0;
    uint64_t address = 0;
};

struct MetadataDump {
    std::wstring path;
    uint32_t type = 0;  // the dump type word
    uint64_t bytes = 0;
    uint32_t series = 0;       // which series of the run, from 1
    uint32_t file = 0;         // which file of its series, from 1
    SYSTEMTIME started = {};   // UTC
    SYSTEMTIME finished = {};  // UTC
    uint64_t milliseconds = 0;
};

// Tool, version and build are this program's own and not part of the record.
struct DumpMetadata {
    bool handedOver = false;  // run by the 32-bit build's hand-over
    std::wstring host;
    std::wstring commandLine;
    MetadataProcess process;
    MetadataTrigger trigger;
    std::optional<MetadataException> exception;  // only where the trigger had one
    // The key a crash server groups the dump under (see DumpSignature); left
    // out when the dump could not be read back.
    std::string signature;
    MetadataDump dump;
};

// A metadata file is a few kilobytes; a larger file of its name is not ours.
constexpr DWORD kMetadataFileLimit = 256 * 1024;

// The file's text: an indented JSON object ended by a line feed, valid UTF-8
// whatever the wide texts hold. Empty only when memory ran out.
std::string MetadataText(const DumpMetadata& metadata);

// Whether a text is a metadata file this program wrote: one JSON object
// whose "tool" is ours.
bool IsMetadataText(const std::string& text);

// Whether a text is a metadata file of ours or the start of one (a
// temporary file left by a run ended while writing it).
bool IsMetadataLeftover(const std::string& text);

// Deletes a file under the metadata's temporary name when it is ours.
void DeleteMetadataLeftover(const wchar_t* tempPath);

// "<dump>.json" and the temporary name it is written under first. False,
// leaving both empty, when either would not fit a path buffer.
bool MetadataFilePaths(const wchar_t* dumpPath, wchar_t (&finalPath)[MAX_PATH],
                       wchar_t (&tempPath)[MAX_PATH]);

// Writes text as "<dump>.json": first to the temporary name, flushed, then
// renamed over any older file, so that a reader never sees half a file. On
// failure the temporary file is gone, *error holds the system error
// (ERROR_FILENAME_EXCED_RANGE for a path too long) and false is returned.
bool WriteMetadataFile(const wchar_t* dumpPath, const std::string& text, DWORD* error);
