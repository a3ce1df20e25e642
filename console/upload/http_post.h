// One POST of a body file to a web server through the system's HTTP stack
// (WinHTTP): the system's proxy settings, and for https the system's
// certificate checks, which nothing here can turn off. Every step (connect,
// each piece of the body, the answer) must make progress within a bound, and
// the cancel event ends the request at once.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "common/http_url.h"

enum class HttpFailure {
    kNone,       // an answer came
    kTimedOut,   // a step made no progress within the bound
    kCancelled,  // the cancel event was set
    kNetwork,    // the system could not connect, send or read (error says why)
};

struct HttpPostResult {
    HttpFailure failure = HttpFailure::kNone;
    DWORD error = 0;  // kNetwork: the WinHTTP or system error
    uint32_t status = 0;
    std::wstring statusText;
    std::string bodyStart;  // the first bytes of the answer's body
    std::optional<uint32_t> retryAfterSeconds;
};

struct HttpBody {
    HANDLE file = INVALID_HANDLE_VALUE;  // read from its current position
    uint64_t size = 0;
    std::string contentType;
    const char* contentEncoding = nullptr;  // "gzip", or none
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
    HttpPostResult Post(const HttpUrl& url, const HttpBody& body, HANDLE cancel,
                        DWORD stepTimeoutMs) const;

  private:
    void* session_ = nullptr;
};

// The reason a request failed, for the console ("no answer from the server
// within 60 s", "cannot connect to the server (error 12029)", ...).
std::wstring HttpFailureText(const HttpPostResult& result, DWORD stepTimeoutMs);

// The text for a WinHTTP error code: our own for the common ones, the
// system's for the rest, always with the number.
std::wstring NetworkErrorText(DWORD error);
