// One POST of a body to a web server through the system's HTTP stack
// (WinHTTP): the system's proxy settings, and for https the system's
// certificate checks with revocation, TLS 1.2 or later, which nothing here
// can turn off. Every step (connect, each piece of the body, the answer)
// must make progress within a bound, the whole request must end by a
// deadline, and the cancel event ends the request at once. A server that
// answers before it has read the whole body (a 413 for a body over its
// limit) and hangs up is read as that answer, not as a broken connection.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "common/http_url.h"

enum class HttpFailure {
    kNone,       // an answer came
    kTimedOut,   // a step made no progress within the bound
    kDeadline,   // the request as a whole did not end by its deadline
    kCancelled,  // the cancel event was set
    kNetwork,    // the system could not connect, send or read (error says why)
    kSetting,    // a setting the request must have could not be applied (error says why)
};

struct HttpPostResult {
    HttpFailure failure = HttpFailure::kNone;
    DWORD error = 0;                   // kNetwork and kSetting: the WinHTTP or system error
    const wchar_t* setting = nullptr;  // kSetting: what could not be applied
    uint32_t status = 0;
    std::wstring statusText;
    std::string bodyStart;  // the first bytes of the answer's body
    std::optional<uint32_t> retryAfterSeconds;
    std::wstring location;  // a redirect's target, in its shown form
};

// The body either in memory (bytes) or in a file read from its current
// position.
struct HttpBody {
    const unsigned char* bytes = nullptr;
    HANDLE file = INVALID_HANDLE_VALUE;
    uint64_t size = 0;
    std::string contentType;
    const char* contentEncoding = nullptr;  // "gzip", or none
};

// How long a request may take: each step (connect, each piece of the body,
// the answer) must make progress within stepTimeoutMs, and the whole request
// must end by deadlineTick (a GetTickCount64 time; 0 for none).
struct HttpBounds {
    DWORD stepTimeoutMs = 60000;
    uint64_t deadlineTick = 0;
};

class HttpClient {
  public:
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Opens the session. False with the system error when WinHTTP is missing
    // or refuses.
    bool Open(DWORD* error);

    // Sends the body; one request at a time per client. cancel may be null.
    // Fails closed: a request whose redirects cannot be turned off, or an
    // https request without TLS 1.2 or later and the revocation check, is
    // never sent.
    HttpPostResult Post(const HttpUrl& url, const HttpBody& body, HANDLE cancel,
                        const HttpBounds& bounds) const;

  private:
    void* session_ = nullptr;
    DWORD tlsError_ = 0;  // why TLS could not be limited to 1.2 and later; 0 when it was
};

// The reason a request failed, for the console ("no answer from the server
// within 60 s", "cannot connect to the server (error 12029)", ...).
// deadlineSeconds is what the whole request was given.
std::wstring HttpFailureText(const HttpPostResult& result, DWORD stepTimeoutMs,
                             uint64_t deadlineSeconds);

// The text for a WinHTTP error code: our own for the common ones, the
// system's for the rest, always with the number.
std::wstring NetworkErrorText(DWORD error);
