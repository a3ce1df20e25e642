// What became of one attempt to send a dump, and how a server's answer (or
// its silence) is read. Every answer falls in one of four classes, decided
// in one table (upload_outcome.cpp):
//   accepted            200 to 203; a body beginning "Discarded=" means the
//                       server took the dump and threw it away (recorded,
//                       never sent again, but not accepted)
//   rejected this dump  400, 413 and every status not named here: the dump
//                       stays queued, the others are sent
//   refused every dump  3xx (never followed), 401, 403, 404, 405, 407, 410,
//                       a certificate the system does not trust, a setting
//                       the system cannot apply: nothing more is sent in
//                       this run, every dump stays queued
//   try later           408, 429, 5xx, no answer, a network failure
// The first line of an accepted body is the server's id for the crash.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

enum class UploadVerdict {
    kAccepted,   // the server has it; a .sent file records that
    kDiscarded,  // the server took it and threw it away: recorded, never sent again
    kRejected,   // the server refused this dump (too large, malformed): stays queued
    kRefused,    // the server, or this machine, refuses every dump: the batch stops
    kRetry,      // a passing failure: try again later
    kFailed,     // this machine could not send it (unreadable, not a dump): stays queued
    kGone,       // the dump was deleted before it was sent
    kElsewhere,  // another run of ours has sent it, or is sending it now
};

struct UploadOutcome {
    UploadVerdict verdict = UploadVerdict::kFailed;
    uint32_t status = 0;  // the HTTP status; 0 without an answer
    // Accepted: the server's id for the crash (printable ASCII, perhaps
    // empty). Discarded: the body's first line.
    std::string id;
    std::wstring reason;  // for the verdicts other than accepted
    std::optional<uint32_t> retryAfterSeconds;
    uint64_t bytesSent = 0;  // the compressed body
    std::string signature;   // of the dump, once it was read
    // Accepted or discarded, but the .sent record could not be written: the
    // system error. The dump will be sent again by a later -send.
    uint32_t sentRecordError = 0;
};

// The class of an HTTP status (200 to 203 read as accepted).
UploadVerdict VerdictOfStatus(uint32_t status);

// The class of a request that got no answer, by the HTTP stack's error.
UploadVerdict VerdictOfNetworkError(DWORD error);

// The verdict on an answer. statusText is the server's reason phrase;
// bodyStart the first bytes of its body; redirectTarget the shown form of a
// redirect's Location (empty without one).
UploadOutcome OutcomeOfAnswer(uint32_t status, const std::wstring& statusText,
                              const std::string& bodyStart,
                              std::optional<uint32_t> retryAfterSeconds,
                              const std::wstring& redirectTarget = std::wstring());

// Whether the outcome is the final word for every dump still to be sent in
// this run (refused), rather than for this dump alone.
inline bool RefusesEveryDump(const UploadOutcome& outcome) {
    return outcome.verdict == UploadVerdict::kRefused;
}

// The body's first line as it may be printed and stored: printable ASCII
// only (anything else becomes '?'), at most 200 characters.
std::string FirstLineOfBody(const std::string& bodyStart);

// "HTTP 413 Payload Too Large", or "HTTP 413" without a reason phrase.
std::wstring StatusText(uint32_t status, const std::wstring& reasonPhrase);

// A Retry-After value in seconds ("120"); none for a date or anything else.
std::optional<uint32_t> RetryAfterDelaySeconds(const std::wstring& value);
