#include "console/dumpwriter/series_file_claim.h"

#include "common/bounded_text.h"
#include "console/dumpwriter/dump_names.h"
#include "console/dumpwriter/folder_files.h"
#include "console/dumpwriter/minidump_write.h"
#include "console/dumpwriter/series_files.h"
#include "console/report/error_report.h"

namespace {

// Enough for any number of watches starting at the same moment in one folder.
constexpr int kClaimAttempts = 1000;

bool ReportCreateFailure(SeriesFile* created, DWORD error) {
    created->error = error;
    ReportWin32Error(L"Failed to create dump file", error);
    return false;
}

bool ReadNextNumber(const DumpRequest& request, DumpSeriesState& series) {
    if (series.numberKnown) {
        return true;
    }
    std::optional<uint32_t> next = NextFileNumber(
        NumberedFilesOf(NamesOf(FilesBesideDumpPath(request.path)), DumpBaseName(request.path)));
    if (!next) {
        return false;
    }
    series.nextNumber = *next;
    series.numberKnown = true;
    return true;
}

// The run's next number whose file can be created new.
bool ClaimNumberedFile(const DumpRequest& request, DumpSeriesState& series, SeriesFile* created) {
    if (!ReadNextNumber(request, series)) {
        return ReportCreateFailure(created, ERROR_FILENAME_EXCED_RANGE);
    }
    for (int attempt = 0; attempt < kClaimAttempts; ++attempt) {
        if (!NumberedDumpName(request.path, series.nextNumber, created->name) ||
            series.nextNumber == UINT32_MAX) {
            return ReportCreateFailure(created, ERROR_FILENAME_EXCED_RANGE);
        }
        created->file = CreateDumpFile(created->name, request.overwrite);
        const DWORD error = GetLastError();
        ++series.nextNumber;
        if (created->file) {
            return true;
        }
        if (error != ERROR_FILE_EXISTS) {
            return ReportCreateFailure(created, error);
        }
    }
    return ReportCreateFailure(created, ERROR_FILE_EXISTS);
}

// The plain name when it is free, otherwise the next free numbered one:
// several crashes at the same moment each get a file of their own.
bool ClaimPlainOrNumberedFile(const DumpRequest& request, DumpSeriesState& series,
                              SeriesFile* created) {
    if (!CopyBounded(created->name, MAX_PATH, request.path)) {
        return ReportCreateFailure(created, ERROR_FILENAME_EXCED_RANGE);
    }
    created->file = CreateDumpFile(created->name, false);
    if (created->file) {
        return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS) {
        return ReportCreateFailure(created, error);
    }
    return ClaimNumberedFile(request, series, created);
}

}  // namespace

bool CreateSeriesFile(const DumpRequest& request, DumpSeriesState& series, uint32_t index,
                      SeriesFile* created) {
    created->name[0] = L'\0';
    created->error = ERROR_SUCCESS;
    if (series.policy.numberAcrossRun) {
        return ClaimNumberedFile(request, series, created);
    }
    if (series.policy.claimFreeName && request.count == 1 && !request.overwrite) {
        return ClaimPlainOrNumberedFile(request, series, created);
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
