// What the series writer tells besides its console lines: the metadata file
// beside each dump (-meta) and the events of the event log (-log).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "console/crash/crash_report.h"
#include "console/dumpwriter/dump_metadata.h"
#include "console/dumpwriter/dump_request.h"
#include "console/report/event_log.h"

// A dump file complete and checked, its metadata written when asked for.
struct ReadyDump {
    const wchar_t* path;
    std::string triggerKind;  // the metadata's trigger kind
    // How long the process had run when the dump started; none when the
    // system gave no creation time.
    std::optional<uint64_t> processMilliseconds;
    // From the crash report; empty when the dump has none, and the
    // signature is then read from the dump file.
    std::string signature;
};

// What the series tell besides the console: the metadata file beside each
// dump (-meta), the event log (-log), and to whom each finished dump goes
// (-upload). Set before any thread starts.
struct SeriesReports {
    bool metadata = false;
    // The run's part of every metadata file: handedOver, host, commandLine
    // and process (its creation time filled also without -meta, for the
    // uploads). The rest is filled per file.
    DumpMetadata run;
    EventLog* log = nullptr;  // null, or a log not opened, writes nothing
    // The process the series events name in the log: with -all, where
    // several processes write series; 0 names none.
    uint32_t logProcessId = 0;
    // Each called on the thread writing the series, and must return at once:
    // no dump waits for the network. Empty without -upload.
    std::function<void(const ReadyDump&)> dumpReady;
    // -keep deleted a dump that no crash server has.
    std::function<void(const std::wstring& path)> dumpDeletedUnsent;
};

// A dump file just written and checked.
struct WrittenFile {
    const wchar_t* path;
    uint32_t type;  // the flag word it was written with
    uint64_t bytes;
    uint32_t series;      // of the run, from 1
    uint32_t file;        // of its series, from 1
    SYSTEMTIME started;   // UTC
    SYSTEMTIME finished;  // UTC
    uint64_t milliseconds;
};

void LogSeriesTrigger(const DumpRequest& request, const SeriesReports& reports);
void LogFileStarted(const SeriesReports& reports, const wchar_t* path);
void LogFileFailed(const SeriesReports& reports, const wchar_t* path, DWORD error);
void LogFileSkipped(const SeriesReports& reports, const wchar_t* path, uint64_t freeMB);
void LogFileOverRate(const SeriesReports& reports, const wchar_t* path, uint32_t recent,
                     uint32_t ratePerHour);
void LogFileDeleted(const SeriesReports& reports, const wchar_t* path);

// Whether anything tells the crash report of a dump (the metadata, the log,
// the uploads' signature), so that the stack is worth reading.
bool ReportsTellCrash(const SeriesReports& reports);

// Writes the metadata file when asked for and logs the file as written,
// both with the dump's signature and crash report (crash may be null). The
// signature is the crash report's, or else read through file (the series'
// handle of the dump). False when the metadata file could not be written;
// that has been reported, and the dump itself stays.
bool ReportFileWritten(const DumpRequest& request, const SeriesReports& reports,
                       const WrittenFile& written, HANDLE file, const CrashReport* crash);

// How long the process had run when a dump of it started; none when the
// system gave no creation time.
std::optional<uint64_t> ProcessRunningMilliseconds(const SeriesReports& reports,
                                                   const SYSTEMTIME& started);

// Hands a dump on to dumpReady, once its series has let it go, with the
// signature of its crash report (crash may be null). A clone's dump has no
// running time of the run's process: the clone is a process of its own.
void HandOnDump(const DumpRequest& request, const SeriesReports& reports, const wchar_t* path,
                std::optional<uint64_t> processMilliseconds, const CrashReport* crash);
