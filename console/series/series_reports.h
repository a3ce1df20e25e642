// What the series writer tells besides its console lines: the metadata file
// beside each dump (-meta) and the events of the event log (-log).
#pragma once

#include <windows.h>

#include <cstdint>

#include "console/dumpwriter/dump_metadata.h"
#include "console/dumpwriter/dump_request.h"
#include "console/report/event_log.h"

// What the series tell besides the console: the metadata file beside each
// dump (-meta) and the event log (-log). Set before any thread starts.
struct SeriesReports {
    bool metadata = false;
    // The run's part of every metadata file: handedOver, host, commandLine
    // and process. The rest is filled per file.
    DumpMetadata run;
    EventLog* log = nullptr;  // null, or a log not opened, writes nothing
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

// Writes the metadata file when asked for and logs the file as written.
// False when the metadata file could not be written; that has been
// reported, and the dump itself stays.
bool ReportFileWritten(const DumpRequest& request, const SeriesReports& reports,
                       const WrittenFile& written);
