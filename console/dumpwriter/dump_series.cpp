#include "console/dumpwriter/dump_series.h"

#include "common/console_output.h"
#include "console/dumpwriter/dump_directory.h"
#include "console/dumpwriter/dump_file.h"
#include "console/dumpwriter/dump_names.h"
#include "console/monitors/error_report.h"

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

}  // namespace

uint32_t WriteDumpSeries(HANDLE process, uint32_t processId, const wchar_t* dumpPath,
                         uint32_t dumpCount, uint32_t overwrite, uint32_t dumpType,
                         MINIDUMP_EXCEPTION_INFORMATION* exceptionInformation, uint32_t miniPlus,
                         const wchar_t* dumpComment, CRITICAL_SECTION* dumpLock,
                         uint32_t* dumpsWritten, uint32_t reflect, uint32_t* dumpFailed) {
    SeriesLock lock(dumpLock);
    if (*dumpsWritten != 0) {
        return 1;
    }
    CreateDumpDirectory(dumpPath);

    // With no file to write nothing can fail.
    uint32_t result = 1;
    if (dumpCount == 1) {
        result = WriteDumpFile(process, processId, dumpPath, overwrite, dumpType,
                               exceptionInformation, miniPlus, dumpComment, reflect);
    }
    for (uint32_t i = 0; dumpCount > 1 && i < dumpCount; ++i) {
        wchar_t name[MAX_PATH];
        if (!NumberedDumpName(dumpPath, i, name)) {
            ReportWin32Error(L"Failed to create dump file", ERROR_FILENAME_EXCED_RANGE);
            result = 0;
            break;
        }
        result = WriteDumpFile(process, processId, name, overwrite, dumpType, exceptionInformation,
                               miniPlus, dumpComment, reflect);
        if (result == 0) {
            break;
        }
    }

    if (result != 0) {
        PrintWide(L"Dump written.\n");
    } else {
        *dumpFailed = 1;
    }
    *dumpsWritten = 1;
    return result;
}
