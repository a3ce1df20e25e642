#include "console/dumpwriter/dump_series.h"

#include "common/console_output.h"
#include "common/stop_signal.h"
#include "console/dumpwriter/dump_directory.h"
#include "console/dumpwriter/dump_file.h"
#include "console/dumpwriter/reflected_dump.h"
#include "console/dumpwriter/series_file_claim.h"
#include "console/dumpwriter/series_files.h"
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

// The live dump, then the clone's, then the live dump's failure report: the
// clone is taken whatever became of the live dump.
bool WriteSeriesFile(const DumpRequest& request, SeriesFile& created) {
    const uint64_t started = GetTickCount64();
    const LiveDumpOutcome live = WriteLiveDump(request, created.name, created.file.Get());
    created.file.Reset();
    if (live.written) {
        PrintFileWritten(live.bytes, GetTickCount64() - started);
    }
    if (request.reflect) {
        WriteReflectedDump(request, created.name);
    }
    if (!live.written) {
        ReportFailedLiveDump(created.name, live.error);
        return false;
    }
    return true;
}

enum class FileOutcome { kWritten, kSkipped, kFailed };

FileOutcome WriteOneFile(const DumpRequest& request, DumpSeriesState& series, uint32_t index) {
    const WatchPolicy& policy = series.policy;
    if (policy.freeMB != 0 && !EnoughFreeSpace(request.path, policy.freeMB)) {
        ++series.filesSkipped;
        return FileOutcome::kSkipped;
    }
    SeriesFile created;
    if (!CreateSeriesFile(request, series, index, &created) || !WriteSeriesFile(request, created)) {
        return FileOutcome::kFailed;
    }
    ++series.filesWritten;
    if (policy.keepFiles != 0) {
        series.filesDeleted += KeepNewestFiles(request.path, policy.keepFiles);
    }
    return FileOutcome::kWritten;
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
        if (outcome != FileOutcome::kWritten) {
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
