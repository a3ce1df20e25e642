#include "console/dumpfolder/series_file_claim.h"

#include "common/bounded_text.h"
#include "console/dumpwriter/minidump_write.h"
#include "console/report/error_report.h"
#include "console/dumpfolder/folder_files.h"
#include "console/dumpfolder/series_files.h"

namespace {

// Enough for any number of watches starting at the same moment in one folder.
constexpr int kClaimAttempts = 1000;
// A name another run is deleting (still open there) refuses to be created
// with access denied until its last handle goes; so does every name in a
// folder we may not write to. This many in a row is the latter.
constexpr int kDeniedInARow = 16;

// The name is taken, or still being deleted: the next one may be free.
bool NameUnavailable(DWORD error) {
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
           error == ERROR_ACCESS_DENIED;
}

bool ReportCreateFailure(SeriesFile* created, DWORD error) {
    created->error = error;
    ReportWin32Error(L"Failed to create dump file", error);
    return false;
}

bool ReadNextNumber(const DumpRequest& request, NumberingState& numbering) {
    if (numbering.known) {
        return true;
    }
    std::optional<uint32_t> next = NextFileNumber(
        NumberedFilesOf(NamesOf(FilesBesideDumpPath(request.path)), DumpBaseName(request.path)));
    if (!next) {
        return false;
    }
    numbering.next = *next;
    numbering.known = true;
    return true;
}

// The run's next number whose file can be created new.
bool ClaimNumberedFile(const DumpRequest& request, NumberingState& numbering, SeriesFile* created) {
    if (!ReadNextNumber(request, numbering)) {
        return ReportCreateFailure(created, ERROR_FILENAME_EXCED_RANGE);
    }
    int deniedInARow = 0;
    DWORD lastError = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < kClaimAttempts; ++attempt) {
        if (!NumberedDumpName(request.path, numbering.next, created->name) ||
            numbering.next == UINT32_MAX) {
            return ReportCreateFailure(created, ERROR_FILENAME_EXCED_RANGE);
        }
        created->file = CreateDumpFile(created->name, request.overwrite);
        lastError = GetLastError();
        ++numbering.next;
        if (created->file) {
            return true;
        }
        deniedInARow = lastError == ERROR_ACCESS_DENIED ? deniedInARow + 1 : 0;
        if (!NameUnavailable(lastError) || deniedInARow == kDeniedInARow) {
            return ReportCreateFailure(created, lastError);
        }
    }
    return ReportCreateFailure(created, lastError);
}

// The plain name when it is free, otherwise the next free numbered one:
// several crashes at the same moment each get a file of their own.
bool ClaimPlainOrNumberedFile(const DumpRequest& request, NumberingState& numbering,
                              SeriesFile* created) {
    if (!CopyBounded(created->name, MAX_PATH, request.path)) {
        return ReportCreateFailure(created, ERROR_FILENAME_EXCED_RANGE);
    }
    created->file = CreateDumpFile(created->name, false);
    if (created->file) {
        return true;
    }
    const DWORD error = GetLastError();
    if (!NameUnavailable(error)) {
        return ReportCreateFailure(created, error);
    }
    return ClaimNumberedFile(request, numbering, created);
}

}  // namespace

bool CreateSeriesFile(const DumpRequest& request, const NamingPolicy& policy,
                      NumberingState& numbering, uint32_t index, SeriesFile* created) {
    created->name[0] = L'\0';
    created->error = ERROR_SUCCESS;
    if (policy.numberAcrossRun) {
        return ClaimNumberedFile(request, numbering, created);
    }
    if (policy.claimFreeName && request.count == 1 && !request.overwrite) {
        return ClaimPlainOrNumberedFile(request, numbering, created);
    }
    if (request.count == 1) {
        if (!CopyBounded(created->name, MAX_PATH, request.path)) {
            return ReportCreateFailure(created, ERROR_FILENAME_EXCED_RANGE);
        }
    } else if (!NumberedDumpName(request.path, index, created->name)) {
        return ReportCreateFailure(created, ERROR_FILENAME_EXCED_RANGE);
    }
    created->file = CreateDumpFile(created->name, request.overwrite);
    if (!created->file) {
        return ReportCreateFailure(created, GetLastError());
    }
    return true;
}
