// What became of one attempt to send a dump, and how a server's answer is
// read: 200 to 203 is accepted unless the body begins "Discarded=" (the
// server throttled the crash: rejected, and not to be sent again); 408, 429
// and any 5xx mean "try later"; any other status is a rejection. The first
// line of the body is the server's id for the crash.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

enum class UploadVerdict {
    kAccepted,   // the server has it; a .sent file records that
    kDiscarded,  // the server took it and threw it away: recorded, never sent again
    kRejected,   // the server refused it (a bad URL or key, too large): stays queued
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

// The verdict on an answer. statusText is the server's reason phrase;
// bodyStart the first bytes of its body.
UploadOutcome OutcomeOfAnswer(uint32_t status, const std::wstring& statusText,
                              const std::string& bodyStart,
                              std::optional<uint32_t> retryAfterSeconds);

// The body's first line as it may be printed and stored: printable ASCII
// only (anything else becomes '?'), at most 200 characters.
std::string FirstLineOfBody(const std::string& bodyStart);

// "HTTP 413 Payload Too Large", or "HTTP 413" without a reason phrase.
std::wstring StatusText(uint32_t status, const std::wstring& reasonPhrase);

// A Retry-After value in seconds ("120"); none for a date or anything else.
std::optional<uint32_t> RetryAfterDelaySeconds(const std::wstring& value);
