#include "console/series/dump_series.h"

#include <optional>

#include "common/byte_units.h"
#include "common/console_output.h"
#include "common/labelled_output.h"
#include "common/stop_signal.h"
#include "common/unique_resource.h"
#include "console/crash/crash_description.h"
#include "console/dumpwriter/dump_directory.h"
#include "console/dumpwriter/dump_file.h"
#include "console/dumpwriter/dump_names.h"
#include "console/dumpwriter/dump_size_estimate.h"
#include "console/dumpwriter/reflected_dump.h"
#include "console/dumpfolder/dump_deletion.h"
#include "console/retention/file_admission.h"
#include "console/retention/keep_newest.h"
#include "console/series/series_gap.h"
#include "console/series/series_reports.h"

namespace {

// One line per file, with its size and how long it took.
void PrintFileWritten(const wchar_t* label, uint64_t bytes, uint64_t milliseconds) {
    PrintLabelled(label, L"Written: %.1f MB (%I64u bytes) in %.1f s.\n", Megabytes(bytes),
                  static_cast<unsigned long long>(bytes),
                  static_cast<double>(milliseconds) / 1000.0);
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

// The newest file of the series, held open without sharing until the next
// one is written or the series ends: while it is held, no other run's -keep
// can delete it (nor read it), so a dump a live series has just written is
// never a candidate for deletion. A run that dies lets it go with its
// handles.
struct HeldDump {
    UniqueFile file;
    std::wstring path;
    std::wstring clone;  // its reflected clone's dump, when one was written
    std::optional<uint64_t> processMilliseconds;  // the process's running time at its start
};

// The series being written: only its own thread sees it.
struct SeriesInProgress {
    const DumpRequest& request;
    WatchSeries& watch;  // policy, reports and numbering only: no series lock is taken
    uint32_t number;     // of the process's watch, from 1
    SeriesTally tally;
    HeldDump held;
    bool crashRead = false;
    std::optional<CrashReport> crash;  // once read: every file of the series shares it
};

const CrashReport* CrashOf(const SeriesInProgress& series) {
    return series.crash ? &*series.crash : nullptr;
}

// The thread an exception or a hung window names, when the request has one.
bool CrashSubjectOf(const DumpRequest& request, CrashSubject* subject) {
    const EXCEPTION_POINTERS* pointers =
        request.exception != nullptr ? request.exception->ExceptionPointers : nullptr;
    if (pointers != nullptr && pointers->ExceptionRecord != nullptr) {
        *subject = {request.process, request.exception->ThreadId, pointers->ExceptionRecord,
                    pointers->ContextRecord};
        return true;
    }
    if (request.hungThreadId != 0) {
        *subject = {request.process, request.hungThreadId, nullptr, nullptr};
        return true;
    }
    return false;
}

// Read once a series, right after its first file, while an exception's
// thread is still held where it failed (the requesting thread lets it go
// only after the series), and only when something tells it.
const CrashReport* CrashOfSeries(SeriesInProgress& series) {
    const DumpRequest& request = series.request;
    CrashSubject subject = {};
    if (!series.crashRead && CrashSubjectOf(request, &subject) &&
        (request.printStack || ReportsTellCrash(series.watch.reports))) {
        series.crash = DescribeCrash(subject);
        if (request.printStack) {
            PrintWide(L"%s", CrashLines(*series.crash).c_str());
        }
    }
    series.crashRead = true;
    return CrashOf(series);
}

// One file of the run at a time (see SharedSeriesState::fileLock).
class FileLockHold {
  public:
    explicit FileLockHold(SharedSeriesState& shared) : lock_(&shared.fileLock) {
        EnterCriticalSection(lock_);
    }
    ~FileLockHold() { LeaveCriticalSection(lock_); }
    FileLockHold(const FileLockHold&) = delete;
    FileLockHold& operator=(const FileLockHold&) = delete;

  private:
    CRITICAL_SECTION* lock_;
};

// Lets the held dump go and hands it on (to the upload queue): only now can
// another reader open it.
void ReleaseHeldDump(SeriesInProgress& series) {
    HeldDump& held = series.held;
    if (!held.file) {
        return;
    }
    held.file.Reset();
    HandOnDump(series.request, series.watch.reports, held.path.c_str(), held.processMilliseconds,
               CrashOf(series));
    if (!held.clone.empty()) {
        HandOnDump(series.request, series.watch.reports, held.clone.c_str(), std::nullopt,
                   CrashOf(series));
    }
    held = HeldDump();
}

// The live dump, then the clone's, then the live dump's failure report: the
// clone is taken whatever became of the live dump.
FileOutcome WriteSeriesFile(SeriesInProgress& series, SeriesFile& created, FilePlace place) {
    const DumpRequest& request = series.request;
    const SeriesReports& reports = series.watch.reports;
    LogFileStarted(reports, created.name);
    WrittenFile written = {};
    written.path = created.name;
    written.type = request.reflect ? kReflectLiveDumpType : request.dumpType;
    written.series = place.series;
    written.file = place.file;
    GetSystemTime(&written.started);
    const uint64_t started = GetTickCount64();
    const LiveDumpOutcome live = WriteLiveDump(request, created.name, created.file.Get());
    if (!live.written) {
        created.file.Reset();  // deleted below, once the clone is taken
    }
    written.milliseconds = GetTickCount64() - started;
    GetSystemTime(&written.finished);
    written.bytes = live.bytes;
    if (live.written) {
        PrintFileWritten(request.lineLabel, live.bytes, written.milliseconds);
    }
    const bool cloneWritten = request.reflect && WriteReflectedDump(request, created.name) != 0;
    const CrashReport* crash = CrashOfSeries(series);
    if (!live.written) {
        ReportFailedLiveDump(created.name, live.error);
        LogFileFailed(reports, created.name, live.error);
        return FileOutcome::kFailed;
    }
    const bool complete = ReportFileWritten(request, reports, written, created.file.Get(), crash);
    ReleaseHeldDump(series);
    series.held.file = std::move(created.file);
    series.held.path = created.name;
    series.held.processMilliseconds = ProcessRunningMilliseconds(reports, written.started);
    ReflectedDumpNames reflected;
    if (cloneWritten && BuildReflectedDumpNames(created.name, &reflected)) {
        DeleteStaleRecords(reflected.cloneDump);
        series.held.clone = reflected.cloneDump;
    }
    return complete ? FileOutcome::kWritten : FileOutcome::kWithoutMetadata;
}

void KeepNewest(SeriesInProgress& series, const wchar_t* justWritten) {
    const RetentionPolicy& retention = series.watch.shared.policy.retention;
    const SeriesReports& reports = series.watch.reports;
    for (const DeletedDumpFile& deleted : KeepNewestDumps(
             series.request.path, justWritten, retention.keepFiles, retention.keptFiles)) {
        ++series.tally.filesDeleted;
        LogFileDeleted(reports, deleted.path.c_str());
        if (!deleted.sent && reports.dumpDeletedUnsent) {
            reports.dumpDeletedUnsent(deleted.path);
        }
    }
}

FileOutcome WriteOneFile(SeriesInProgress& series, uint32_t index) {
    const DumpRequest& request = series.request;
    WatchSeries& watch = series.watch;
    const RetentionPolicy& retention = watch.shared.policy.retention;
    const SeriesReports& reports = watch.reports;
    FileLockHold hold(watch.shared);
    SeriesFile created;
    const uint64_t estimate = retention.freeMB != 0 ? EstimatedDumpBytes(request) : 0;
    const Admission admission =
        AdmitSeriesFile(request, retention, *watch.numbering, index, estimate, &created);
    switch (admission.outcome) {
        case AdmissionOutcome::kAdmitted:
            break;
        case AdmissionOutcome::kOverRate:
            ++series.tally.filesOverRate;
            LogFileOverRate(reports, request.path, admission.recent, retention.ratePerHour);
            return FileOutcome::kSkipped;
        case AdmissionOutcome::kNoSpace:
            ++series.tally.filesSkipped;
            LogFileSkipped(reports, request.path, admission.freeNow);
            return FileOutcome::kSkipped;
        case AdmissionOutcome::kFailed:
            LogFileFailed(reports, created.name[0] != L'\0' ? created.name : request.path,
                          created.error);
            return FileOutcome::kFailed;
    }
    const FileOutcome outcome = WriteSeriesFile(series, created, {series.number, index + 1});
    if (outcome == FileOutcome::kFailed) {
        WithdrawAdmission(request, admission, created.name);
        return outcome;
    }
    ++series.tally.filesWritten;
    if (retention.keepFiles != 0) {
        KeepNewest(series, created.name);
    }
    return outcome;
}

// Waits out the gap before file `index`; false when the stop signal was
// raised meanwhile.
bool AwaitGap(const WatchSeries& watch, uint32_t index, uint64_t previousStart) {
    if (index == 0 || watch.gapSeconds == 0) {
        return true;
    }
    const uint64_t wait = GapWaitMilliseconds(previousStart, GetTickCount64(), watch.gapSeconds);
    return !WaitForStopLong(watch.stopSignal, wait);
}

}  // namespace

SeriesOutcome WriteDumpSeries(const DumpRequest& request, WatchSeries& watch, SeriesDemand demand) {
    if (BeginSeries(watch, demand) != SeriesStart::kStarted) {
        return SeriesOutcome::kNotStarted;
    }
    SeriesInProgress series{request, watch, SeriesStartedCount(watch), {}, {}, false, std::nullopt};
    CreateDumpDirectory(request.path);
    LogSeriesTrigger(request, watch.reports);

    // With no file to write nothing can fail.
    bool allWritten = true;
    bool metadataMissing = false;
    bool interrupted = false;
    uint64_t previousStart = 0;
    for (uint32_t i = 0; i < request.count; ++i) {
        if (!AwaitGap(watch, i, previousStart)) {
            interrupted = true;
            break;
        }
        previousStart = GetTickCount64();
        const FileOutcome outcome = WriteOneFile(series, i);
        if (outcome == FileOutcome::kWithoutMetadata) {
            metadataMissing = true;
        } else if (outcome != FileOutcome::kWritten) {
            allWritten = false;
        }
        if (outcome == FileOutcome::kFailed) {
            break;
        }
    }
    // Once it is let go, the series' last dump counts for -keep like any
    // other: a start whose dumps other live series held could not count
    // theirs, and the last one to end leaves the folder within the bound.
    const std::wstring last = series.held.path;
    ReleaseHeldDump(series);
    if (!last.empty() && watch.shared.policy.retention.keepFiles != 0) {
        FileLockHold hold(watch.shared);
        KeepNewest(series, last.c_str());
    }
    if (allWritten && !interrupted) {
        PrintLabelled(request.lineLabel, L"Dump written.\n");
    }
    EndSeries(watch, series.tally, !allWritten || metadataMissing);
    return allWritten ? SeriesOutcome::kWritten : SeriesOutcome::kFailed;
}
