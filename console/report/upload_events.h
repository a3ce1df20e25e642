// The event log's lines about sending dumps to a crash server. The URL in
// them is always the shown form, never a query.
#pragma once

#include <cstdint>
#include <string>

#include "console/report/event_log.h"

// {"path", "url", "status", "id", "bytes", "signature"}
void LogUploadSent(EventLog* log, const std::wstring& path, const std::wstring& url,
                   uint32_t status, const std::string& id, uint64_t bytes,
                   const std::string& signature);

// {"path", "error", "retry", "signature"}: retry true when it will be tried
// again in this run, false when it stays queued for -send.
void LogUploadFailed(EventLog* log, const std::wstring& path, const std::wstring& error, bool retry,
                     const std::string& signature);

// {"path", "status", "reason", "signature"}
void LogUploadRejected(EventLog* log, const std::wstring& path, uint32_t status,
                       const std::wstring& reason, const std::string& signature);

// {"path", "reason"}: another run of ours has sent the dump or is sending it.
void LogUploadSkipped(EventLog* log, const std::wstring& path, const std::wstring& reason);
