#include "console/dumpwriter/dump_series.h"

#include "common/console_output.h"
#include "common/stop_signal.h"
#include "console/dumpwriter/dump_directory.h"
#include "console/dumpwriter/dump_file.h"
#include "console/dumpwriter/reflected_dump.h"
#include "console/dumpwriter/series_file_claim.h"
#include "console/dumpwriter/series_files.h"
#include "console/dumpwriter/series_reports.h"
#include "console/dumpwriter/watch_bounds.h"

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

bool Finished(const DumpSeriesState& series) {
    return series.policy.seriesLimit != 0 && series.seriesWritten >= series.policy.seriesLimit;
}

// One line per file, with its size and how long it took.
void PrintFileWritten(uint64_t bytes, uint64_t milliseconds) {
    PrintWide(L"Written: %.1f MB (%I64u bytes) in %.1f s.\n",
              static_cast<double>(bytes) / (1024.0 * 1024.0),
              static_cast<unsigned long long>(bytes), static_cast<double>(milliseconds) / 1000.0);
}

// Where a file stands in the run, for what is told about it.
struct FilePlace {
    uint32_t series;  // from 1
    uint32_t file;    // from 1
};

enum class FileOutcome {
    kWritten,
    kWithoutMetadata,  // the dump is complete, its metadata file could not be written
    kSkipped,          // by -free
    kFailed,
};

// The live dump, then the clone's, then the live dump's failure report: the
// clone is taken whatever became of the live dump.
FileOutcome WriteSeriesFile(const DumpRequest& request, DumpSeriesState& series,
                            SeriesFile& created, FilePlace place) {
    const SeriesReports& reports = series.reports;
    LogFileStarted(reports, created.name);
    WrittenFile written = {};
    written.path = created.name;
    written.type = request.reflect ? kReflectLiveDumpType : request.dumpType;
    written.series = place.series;
    written.file = place.file;
    GetSystemTime(&written.started);
    const uint64_t started = GetTickCount64();
    const LiveDumpOutcome live = WriteLiveDump(request, created.name, created.file.Get());
    created.file.Reset();
    written.milliseconds = GetTickCount64() - started;
    GetSystemTime(&written.finished);
    written.bytes = live.bytes;
    if (live.written) {
        PrintFileWritten(live.bytes, written.milliseconds);
    }
    if (request.reflect) {
        WriteReflectedDump(request, created.name);
    }
    if (!live.written) {
        ReportFailedLiveDump(created.name, live.error);
        LogFileFailed(reports, created.name, live.error);
        return FileOutcome::kFailed;
    }
    return ReportFileWritten(request, reports, written) ? FileOutcome::kWritten
                                                        : FileOutcome::kWithoutMetadata;
}

void KeepNewest(const DumpRequest& request, DumpSeriesState& series) {
    for (const std::wstring& path :
         KeepNewestFiles(request.path, series.policy.keepFiles, series.policy.keptFiles)) {
        ++series.filesDeleted;
        LogFileDeleted(series.reports, path.c_str());
    }
}

FileOutcome WriteOneFile(const DumpRequest& request, DumpSeriesState& series, uint32_t index) {
    const WatchPolicy& policy = series.policy;
    uint64_t freeNow = 0;
    if (policy.freeMB != 0 && !EnoughFreeSpace(request.path, policy.freeMB, &freeNow)) {
        ++series.filesSkipped;
        LogFileSkipped(series.reports, request.path, freeNow);
        return FileOutcome::kSkipped;
    }
    SeriesFile created;
    if (!CreateSeriesFile(request, series, index, &created)) {
        LogFileFailed(series.reports, created.name[0] != L'\0' ? created.name : request.path,
                      created.error);
        return FileOutcome::kFailed;
    }
    const FilePlace place = {series.seriesWritten + 1, index + 1};
    const FileOutcome outcome = WriteSeriesFile(request, series, created, place);
    if (outcome == FileOutcome::kFailed) {
        return outcome;
    }
    ++series.filesWritten;
    if (policy.keepFiles != 0) {
        KeepNewest(request, series);
    }
    return outcome;
}

// Waits out the gap before file `index`; false when the stop signal was
// raised meanwhile.
bool AwaitGap(const WatchPolicy& policy, uint32_t index, uint64_t previousStart) {
    if (index == 0 || policy.gapSeconds == 0) {
        return true;
    }
    const uint64_t wait = GapWaitMilliseconds(previousStart, GetTickCount64(), policy.gapSeconds);
    return !WaitForStopLong(policy.stopSignal, wait);
}

}  // namespace

uint32_t WriteDumpSeries(const DumpRequest& request, DumpSeriesState& series) {
    SeriesLock lock(&series.lock);
    if (Finished(series)) {
        return 1;
    }
    CreateDumpDirectory(request.path);
    LogSeriesTrigger(request, series.reports);

    // With no file to write nothing can fail.
    bool allWritten = true;
    bool interrupted = false;
    uint64_t previousStart = 0;
    for (uint32_t i = 0; i < request.count; ++i) {
        if (!AwaitGap(series.policy, i, previousStart)) {
            interrupted = true;
            break;
        }
        previousStart = GetTickCount64();
        const FileOutcome outcome = WriteOneFile(request, series, i);
        if (outcome == FileOutcome::kWithoutMetadata) {
            series.failed = true;
        } else if (outcome != FileOutcome::kWritten) {
            allWritten = false;
        }
        if (outcome == FileOutcome::kFailed) {
            break;
        }
    }

    if (allWritten && !interrupted) {
        PrintWide(L"Dump written.\n");
    } else if (!allWritten) {
        series.failed = true;
    }
    ++series.seriesWritten;
    series.quietUntil = GetTickCount64() + static_cast<uint64_t>(series.policy.quietSeconds) * 1000;
    return allWritten ? 1 : 0;
}

bool SeriesFinished(DumpSeriesState& series) {
    SeriesLock lock(&series.lock);
    return Finished(series);
}

uint32_t SeriesCount(DumpSeriesState& series) {
    SeriesLock lock(&series.lock);
    return series.seriesWritten;
}

uint64_t QuietMillisecondsLeft(DumpSeriesState& series) {
    SeriesLock lock(&series.lock);
    const uint64_t now = GetTickCount64();
    return now >= series.quietUntil ? 0 : series.quietUntil - now;
}
