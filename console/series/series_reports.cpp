#include "console/series/series_reports.h"

#include "common/file_time_ticks.h"
#include "console/crash/crash_json.h"
#include "console/crash/crash_signature.h"
#include "console/dumpwriter/dump_facts.h"
#include "console/dumpwriter/dump_metadata.h"
#include "console/report/error_report.h"

namespace {

std::string TriggerKind(const DumpRequest& request) {
    return request.trigger != nullptr ? request.trigger->kind : std::string("unknown");
}

// Read back from the file just written (through the series' own handle),
// as a crash server will read it; empty when it cannot be read.
std::string SignatureOf(HANDLE file, const std::string& triggerKind) {
    DumpFacts facts;
    if (!ReadDumpFileFacts(file, &facts)) {
        return std::string();
    }
    return DumpSignature(facts, triggerKind);
}

// From the process's creation to the start of the dump.
std::optional<uint64_t> RunningMilliseconds(const std::optional<uint64_t>& created,
                                            const SYSTEMTIME& started) {
    FILETIME start = {};
    if (!created || !SystemTimeToFileTime(&started, &start) || FileTimeTicks(start) < *created) {
        return std::nullopt;
    }
    return (FileTimeTicks(start) - *created) / 10000;
}

bool LogOpen(const SeriesReports& reports) {
    return reports.log != nullptr && reports.log->IsOpen();
}

// The exception of the request as the metadata tells it. The dump writer is
// only ever given records in this program's own memory.
MetadataException ExceptionFacts(const MINIDUMP_EXCEPTION_INFORMATION& information,
                                 bool firstChance) {
    MetadataException facts;
    facts.firstChance = firstChance;
    facts.threadId = information.ThreadId;
    const EXCEPTION_POINTERS* pointers = information.ExceptionPointers;
    if (pointers != nullptr && pointers->ExceptionRecord != nullptr) {
        facts.code = static_cast<uint32_t>(pointers->ExceptionRecord->ExceptionCode);
        facts.address = reinterpret_cast<uintptr_t>(pointers->ExceptionRecord->ExceptionAddress);
    }
    return facts;
}

DumpMetadata MetadataOf(const DumpRequest& request, const SeriesReports& reports,
                        const WrittenFile& written) {
    DumpMetadata metadata = reports.run;
    if (request.trigger != nullptr) {
        metadata.trigger = *request.trigger;
    }
    if (request.exception != nullptr) {
        metadata.exception = ExceptionFacts(*request.exception, request.firstChance);
    }
    metadata.dump.path = written.path;
    metadata.dump.type = written.type;
    metadata.dump.bytes = written.bytes;
    metadata.dump.series = written.series;
    metadata.dump.file = written.file;
    metadata.dump.started = written.started;
    metadata.dump.finished = written.finished;
    metadata.dump.milliseconds = written.milliseconds;
    return metadata;
}

}  // namespace

void LogSeriesTrigger(const DumpRequest& request, const SeriesReports& reports) {
    if (!LogOpen(reports) || request.trigger == nullptr) {
        return;
    }
    reports.log->Trigger(request.trigger->kind.c_str(), request.trigger->value,
                         reports.logProcessId);
}

void LogFileStarted(const SeriesReports& reports, const wchar_t* path) {
    if (LogOpen(reports)) {
        reports.log->DumpStarted(path, reports.logProcessId);
    }
}

void LogFileFailed(const SeriesReports& reports, const wchar_t* path, DWORD error) {
    if (LogOpen(reports)) {
        reports.log->DumpFailed(path, SystemMessageText(error).c_str(), reports.logProcessId);
    }
}

void LogFileSkipped(const SeriesReports& reports, const wchar_t* path, uint64_t freeMB) {
    if (LogOpen(reports)) {
        reports.log->DumpSkipped(path, freeMB, reports.logProcessId);
    }
}

void LogFileOverRate(const SeriesReports& reports, const wchar_t* path, uint32_t recent,
                     uint32_t ratePerHour) {
    if (LogOpen(reports)) {
        reports.log->DumpOverRate(path, recent, ratePerHour, reports.logProcessId);
    }
}

void LogFileDeleted(const SeriesReports& reports, const wchar_t* path) {
    if (LogOpen(reports)) {
        reports.log->DumpDeleted(path, reports.logProcessId);
    }
}

bool ReportsTellCrash(const SeriesReports& reports) {
    return reports.metadata || LogOpen(reports) || reports.dumpReady;
}

bool ReportFileWritten(const DumpRequest& request, const SeriesReports& reports,
                       const WrittenFile& written, HANDLE file, const CrashReport* crash) {
    bool complete = true;
    const std::string triggerKind = TriggerKind(request);
    // From the crashing thread's stack where it was read; otherwise read back
    // from the file, only when the metadata or the log tells it.
    std::string signature;
    if (crash != nullptr) {
        signature = CrashSignature(*crash);
    } else if (reports.metadata || LogOpen(reports)) {
        signature = SignatureOf(file, triggerKind);
    }
    if (reports.metadata) {
        DWORD error = 0;
        DumpMetadata metadata = MetadataOf(request, reports, written);
        metadata.signature = signature;
        if (crash != nullptr) {
            metadata.crash = *crash;
        }
        const std::string text = MetadataText(metadata);
        if (text.empty() || !WriteMetadataFile(written.path, text, &error)) {
            ReportWin32Error(L"Failed to write the metadata file",
                             error != 0 ? error : ERROR_NOT_ENOUGH_MEMORY);
            complete = false;
        }
    }
    if (LogOpen(reports)) {
        reports.log->DumpWritten(written.path, written.bytes, written.milliseconds, signature,
                                 crash != nullptr ? CrashReasonText(*crash) : std::string(),
                                 crash != nullptr ? TopFrameText(*crash) : std::string(),
                                 reports.logProcessId);
    }
    return complete;
}

std::optional<uint64_t> ProcessRunningMilliseconds(const SeriesReports& reports,
                                                   const SYSTEMTIME& started) {
    return RunningMilliseconds(reports.run.process.created, started);
}

void HandOnDump(const DumpRequest& request, const SeriesReports& reports, const wchar_t* path,
                std::optional<uint64_t> processMilliseconds, const CrashReport* crash) {
    if (reports.dumpReady) {
        reports.dumpReady({path, TriggerKind(request), processMilliseconds,
                           crash != nullptr ? CrashSignature(*crash) : std::string()});
    }
}
