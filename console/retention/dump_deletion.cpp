#include "console/retention/dump_deletion.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstring>
#include <string>

#include "common/bounded_text.h"
#include "common/unique_resource.h"
#include "console/dumpwriter/dump_metadata.h"
#include "console/dumpwriter/dump_names.h"
#include "console/retention/sent_record.h"

namespace {

constexpr char kMinidumpSignature[] = "MDMP";
// A metadata file is a few kilobytes, a .sent record a line; anything much
// larger is not ours.
constexpr DWORD kMetadataLimit = 256 * 1024;
constexpr DWORD kSentRecordLimit = 16 * 1024;

// Up to limit bytes from the start of the file; empty when it cannot be read.
std::string ReadHead(const wchar_t* path, DWORD limit) {
    UniqueFile file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return std::string();
    }
    std::string head(limit, '\0');
    DWORD read = 0;
    if (!ReadFile(file.Get(), &head[0], limit, &read, nullptr)) {
        return std::string();
    }
    head.resize(read);
    return head;
}

bool BeginsWith(const std::string& text, const char* prefix) {
    return text.compare(0, strlen(prefix), prefix) == 0;
}

void DeleteWhen(const wchar_t* path, bool ours) {
    if (ours) {
        DeleteFileW(path);
    }
}

}  // namespace

DumpDeletion DeleteDumpWithCompanions(const wchar_t* dumpFile) {
    DumpDeletion deletion;
    wchar_t sentRecord[MAX_PATH];
    wchar_t sentTemp[MAX_PATH];
    const bool sentNamed = SentRecordPaths(dumpFile, sentRecord, sentTemp);
    const bool sent = sentNamed && IsSentRecordText(ReadHead(sentRecord, kSentRecordLimit));
    if (!DeleteFileW(dumpFile)) {
        return deletion;
    }
    deletion.deleted = true;
    deletion.sent = sent;
    ReflectedDumpNames reflected;
    if (BuildReflectedDumpNames(dumpFile, &reflected)) {
        DeleteWhen(reflected.cloneDump,
                   BeginsWith(ReadHead(reflected.cloneDump, 4), kMinidumpSignature));
        // A side file only ever has the ".ini" the name rule adds; a base
        // with an extension of its own gives no side file name to remove.
        if (_wcsicmp(PathFindExtensionW(reflected.sideFile), L".ini") == 0) {
            DeleteWhen(reflected.sideFile,
                       BeginsWith(ReadHead(reflected.sideFile, 64), kSideFileSection));
        }
    }
    DeleteStaleRecords(dumpFile);
    return deletion;
}

void DeleteStaleRecords(const wchar_t* dumpFile) {
    wchar_t metadata[MAX_PATH];
    if (FormatBounded(metadata, MAX_PATH, L"%s.json", dumpFile)) {
        DeleteWhen(metadata, IsMetadataText(ReadHead(metadata, kMetadataLimit)));
    }
    wchar_t sentRecord[MAX_PATH];
    wchar_t sentTemp[MAX_PATH];
    if (SentRecordPaths(dumpFile, sentRecord, sentTemp)) {
        DeleteWhen(sentRecord, IsSentRecordText(ReadHead(sentRecord, kSentRecordLimit)));
    }
}
