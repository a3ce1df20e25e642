#include "console/dumpfolder/dump_deletion.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstring>

#include "common/bounded_text.h"
#include "common/small_file.h"
#include "console/dumpfolder/sent_record.h"
#include "console/dumpwriter/dump_check.h"
#include "console/dumpwriter/dump_ownership.h"
#include "console/dumpwriter/dump_metadata.h"
#include "console/dumpwriter/dump_names.h"

namespace {

bool BeginsWith(const std::string& text, const char* prefix) {
    return text.compare(0, strlen(prefix), prefix) == 0;
}

void DeleteWhen(const wchar_t* path, bool ours) {
    if (ours) {
        DeleteFileW(path);
    }
}

// Deletes a dump file so that its name is gone at once. A file another run
// has open (a sender, with delete sharing) is only marked for deletion by
// DeleteFileW and stays until the last handle goes, and some platforms
// leave it openable by name all that while: a later -keep would find it
// again, and its sender would record it as sent. Renamed first, its name
// is free at once, and the sender finds it gone.
bool DeleteDumpFile(const wchar_t* dumpFile) {
    wchar_t going[MAX_PATH];
    if (!DeletingName(dumpFile, going)) {
        return DeleteFileW(dumpFile) != FALSE;
    }
    if (DumpFileAtIsOurs(going)) {
        DeleteFileW(going);  // a run ended between the two steps left it
    }
    if (!MoveFileExW(dumpFile, going, 0)) {
        return DeleteFileW(dumpFile) != FALSE;
    }
    if (!DeleteFileW(going)) {
        MoveFileExW(going, dumpFile, 0);  // it could not go: it stays as it was
        return false;
    }
    return true;
}

// The dump and its own records; false when the dump itself stays.
bool DeleteOneDump(const wchar_t* dumpFile, DeletedDumpFile* deleted) {
    const bool sent = SentRecordStateOf(dumpFile) == SentRecordState::kOurs;
    if (!DeleteDumpFile(dumpFile)) {
        return false;
    }
    deleted->path = dumpFile;
    deleted->sent = sent;
    DeleteStaleRecords(dumpFile);
    return true;
}

}  // namespace

bool DeletingName(const wchar_t* dumpFile, wchar_t (&name)[MAX_PATH]) {
    return FormatBounded(name, MAX_PATH, L"%s%s", dumpFile, kDeletingSuffix);
}

std::vector<DeletedDumpFile> DeleteDumpWithCompanions(const wchar_t* dumpFile) {
    std::vector<DeletedDumpFile> deleted(1);
    if (!DeleteOneDump(dumpFile, &deleted[0])) {
        return {};
    }
    ReflectedDumpNames reflected;
    if (BuildReflectedDumpNames(dumpFile, &reflected)) {
        // A side file only ever has the ".ini" the name rule adds; a base
        // with an extension of its own gives no side file name to remove.
        if (_wcsicmp(PathFindExtensionW(reflected.sideFile), L".ini") == 0) {
            DeleteWhen(reflected.sideFile,
                       BeginsWith(ReadFileHead(reflected.sideFile, 64), kSideFileSection));
        }
        DeletedDumpFile clone;
        if (DumpFileAtIsOurs(reflected.cloneDump) && DeleteOneDump(reflected.cloneDump, &clone)) {
            deleted.push_back(clone);
        }
    }
    return deleted;
}

void DeleteStaleRecords(const wchar_t* dumpFile) {
    wchar_t metadata[MAX_PATH];
    wchar_t metadataTemp[MAX_PATH];
    if (MetadataFilePaths(dumpFile, metadata, metadataTemp)) {
        DeleteWhen(metadata, IsMetadataText(ReadFileHead(metadata, kMetadataFileLimit)));
        DeleteMetadataLeftover(metadataTemp);
    }
    DeleteOurSentRecords(dumpFile);
}
