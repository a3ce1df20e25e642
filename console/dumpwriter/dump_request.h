// What a trigger asks of the dump writer, and what the run's series have
// come to so far.
#pragma once

#include <windows.h>
#include <dbghelp.h>

#include <cstdint>

#include "console/dumpwriter/dump_metadata.h"
#include "console/report/event_log.h"

// One trigger's request: which process, where, how many files, and what goes
// into them.
struct DumpRequest {
    HANDLE process;
    uint32_t processId;
    const wchar_t* path;  // the dump path; numbered names are derived from it
    uint32_t count;
    bool overwrite;
    uint32_t dumpType;  // MINIDUMP_TYPE flag word
    // The trigger's exception, or null. Passed through unchanged, to the
    // reflected dump as well.
    MINIDUMP_EXCEPTION_INFORMATION* exception;
    bool miniPlus;
    bool reflect;
    const wchar_t* comment;  // stored in every file as the comment stream
    // What fired, for the metadata file and the event log; null for none.
    const MetadataTrigger* trigger;
    bool firstChance;  // the exception, when there is one, is a first chance one
};

// The files that -keep bounds, the oldest deleted first.
enum class KeptFiles {
    kNumbered,           // "<name>_<n>.dmp" of the dump path, by n
    kPlainThenNumbered,  // the dump path itself as the oldest, then as above
    // A just-in-time dump folder: every "<image>_<pid>_<yyMMdd>_<HHmmss>.dmp"
    // (with "_<n>" when taken), whatever the image, by its time.
    kFolderNaming,
};

// How the series of a run follow one another. The defaults give what a run
// without the long-watch options does: one series of request.count files
// written back to back.
struct WatchPolicy {
    uint32_t seriesLimit = 1;  // series the run writes (-a); 0 = no limit
    // -a: every file of the run is numbered, after the highest number the
    // folder already holds for the name, and a name taken meanwhile is
    // passed over.
    bool numberAcrossRun = false;
    uint32_t gapSeconds = 0;    // -g: files of a series start this far apart
    uint32_t quietSeconds = 0;  // -q: no trigger fires for this long after a series
    uint32_t keepFiles = 0;     // -keep: at most this many numbered files; 0 = no bound
    uint64_t freeMB = 0;        // -free: no file while less is free; 0 = no guard
    // A just-in-time start: when the dump file exists already, the dump goes
    // to the next free numbered name instead of failing.
    bool claimFreeName = false;
    // Which files -keep counts.
    KeptFiles keptFiles = KeptFiles::kNumbered;
    HANDLE stopSignal = nullptr;  // the run's stop signal: a gap ends at once when raised
};

// What the series tell besides the console: the metadata file beside each
// dump (-meta) and the event log (-log). Set before any thread starts.
struct SeriesReports {
    bool metadata = false;
    // The run's part of every metadata file: handedOver, host, commandLine
    // and process. The rest is filled per file.
    DumpMetadata run;
    EventLog* log = nullptr;  // null, or a log not opened, writes nothing
};

// Shared by every thread that can request a series. `lock` guards the rest
// and is held for the whole of a series.
struct DumpSeriesState {
    DumpSeriesState() { InitializeCriticalSection(&lock); }
    ~DumpSeriesState() { DeleteCriticalSection(&lock); }
    DumpSeriesState(const DumpSeriesState&) = delete;
    DumpSeriesState& operator=(const DumpSeriesState&) = delete;

    CRITICAL_SECTION lock;
    WatchPolicy policy;          // set before any thread starts, then only read
    SeriesReports reports;       // likewise
    uint32_t seriesWritten = 0;  // series written (or attempted) so far
    uint64_t quietUntil = 0;     // GetTickCount64 value before which no trigger fires
    uint32_t nextNumber = 0;     // numberAcrossRun: the next file number to try
    bool numberKnown = false;    // nextNumber has been read from the folder
    uint32_t filesWritten = 0;
    uint32_t filesDeleted = 0;  // by -keep
    uint32_t filesSkipped = 0;  // by -free
    // A file of a series could not be written or was skipped: the run then
    // ends with exit code 1 instead of reporting success to a script that
    // trusts exit code 0.
    bool failed = false;
};
