#include "console/dumpwriter/dump_series.h"

#include "common/console_output.h"
#include "console/dumpwriter/dump_directory.h"
#include "console/dumpwriter/dump_file.h"
#include "console/dumpwriter/dump_names.h"
#include "console/dumpwriter/reflected_dump.h"
#include "console/report/error_report.h"

namespace {

// Holds the series lock for the lifetime of the object.
class SeriesLock {
  public:
    explicit SeriesLock(CRITICAL_SECTION* lock) : lock_(lock) { EnterCriticalSection(lock_); }
    ~SeriesLock() { LeaveCriticalSection(lock_); }
    SeriesLock(const SeriesLock&) = delete;
    SeriesLock& operator=(const SeriesLock&) = delete;

  private:
    CRITICAL_SECTION* lock_;
};

// The live dump, then the clone's, then the live dump's failure report: the
// clone is taken whatever became of the live dump.
bool WriteSeriesFile(const DumpRequest& request, const wchar_t* fileName) {
    const LiveDumpOutcome live = WriteLiveDump(request, fileName);
    if (!live.created) {
        return false;
    }
    if (request.reflect) {
        WriteReflectedDump(request, fileName);
    }
    if (!live.written) {
        ReportFailedLiveDump(fileName, live.error);
        return false;
    }
    return true;
}

}  // namespace

uint32_t WriteDumpSeries(const DumpRequest& request, DumpSeriesState& series) {
    SeriesLock lock(&series.lock);
    if (series.written) {
        return 1;
    }
    CreateDumpDirectory(request.path);

    // With no file to write nothing can fail.
    bool written = true;
    if (request.count == 1) {
        written = WriteSeriesFile(request, request.path);
    }
    for (uint32_t i = 0; request.count > 1 && i < request.count; ++i) {
        wchar_t name[MAX_PATH];
        if (!NumberedDumpName(request.path, i, name)) {
            ReportWin32Error(L"Failed to create dump file", ERROR_FILENAME_EXCED_RANGE);
            written = false;
            break;
        }
        written = WriteSeriesFile(request, name);
        if (!written) {
            break;
        }
    }

    if (written) {
        PrintWide(L"Dump written.\n");
    } else {
        series.failed = true;
    }
    series.written = true;
    return written ? 1 : 0;
}
