// The console lines and event-log lines for what became of a dump's upload:
// each outcome is printed here and nowhere else.
//   "Uploaded <dump> to <url shown>: <id>"
//   "Upload of <dump> failed: <reason>; it stays queued for -send."
//   "Upload of <dump> rejected: <status or Discarded=...>"
//   "Upload of <dump> refused: <status or reason>; no dump is sent in this
//    run after it, and each stays queued for -send."
//   "Upload of <dump> not tried: <why>; it stays queued for -send."
//   "Upload of <dump> left to another run: <why>."
#pragma once

#include <cstdint>
#include <string>

#include "console/report/event_log.h"
#include "console/upload/upload_outcome.h"

// The final word on one dump for this run: accepted, discarded, rejected,
// refused, failed (it stays queued) or gone. A kRetry outcome is reported as
// a failure that stays queued.
void ReportUploadOutcome(EventLog* log, const std::wstring& dumpPath, const std::wstring& shownUrl,
                         const UploadOutcome& outcome);

// A passing failure that will be tried again in this run: the event log
// only; with waitMs (a -send) also the console, with the wait.
void ReportUploadRetry(EventLog* log, const std::wstring& dumpPath, const UploadOutcome& outcome,
                       const uint64_t* waitMs = nullptr);

// A dump not tried in this run, because of what happened before it (a
// refusal, a server that failed, Ctrl+C); it stays queued.
void ReportNotTried(EventLog* log, const std::wstring& dumpPath, const std::wstring& why);

// Once per run: the URL's user name and password would travel unencrypted.
void ReportCredentialsInClear(const std::wstring& shownUrl);
