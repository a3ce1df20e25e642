#include "console/upload/http_post.h"

#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>

#include "common/file_time_ticks.h"
#include "common/unique_resource.h"
#include "common/version.h"
#include "console/upload/upload_outcome.h"

namespace {

struct InternetTraits {
    using Type = HINTERNET;
    static Type Invalid() { return nullptr; }
    static void Free(Type h) { WinHttpCloseHandle(h); }
};
using UniqueInternet = UniqueResource<InternetTraits>;

// A body in a file goes out in pieces of 64 KB, and a rest shorter than two
// pieces in one write: the client's stack holds back a short segment while
// an earlier short one is unacknowledged, and a server delays its
// acknowledgement (40 ms on Linux, 200 ms on Windows), so a request whose
// last two writes both end short waits that long (measured: 42 ms of every
// small dump's request over loopback). A body in memory goes out in one
// write. Larger pieces would not do: under Wine a write that waits for room
// in the socket's buffer when the server resets the connection (after an
// early answer) waits out the whole step timeout, where a later, smaller
// write fails at once.
constexpr DWORD kWritePiece = 64 * 1024;
constexpr DWORD kBodyStartSize = 4096;
constexpr size_t kMaxLocationLength = 2084;
// TLS 1.3 is known to the newest systems only; older ones refuse the flag.
constexpr DWORD kTls13 = 0x00002000;  // WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3

// What the system's HTTP stack hands back while a request runs. It may still
// call back, and write into the buffer, after the request handle is closed,
// until it says the handle is closing; and Wine's says so only once a step
// under way has ended by itself. So the state has two owners, the request
// and the stack, and goes away when both have let go of it: closing a request
// never waits.
struct RequestState {
    explicit RequestState(size_t bufferSize)
        : buffer(new (std::nothrow) unsigned char[bufferSize]), bufferSize(bufferSize) {}

    UniqueHandle stepDone{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    std::atomic<DWORD> error{0};
    std::atomic<DWORD> bytesRead{0};
    std::atomic<long> owners{2};
    std::unique_ptr<unsigned char[]> buffer;
    size_t bufferSize;
};

// The size of the write starting with left bytes still to send.
DWORD NextPiece(const HttpBody& body, uint64_t left) {
    if (body.bytes != nullptr || left < 2 * uint64_t{kWritePiece}) {
        return static_cast<DWORD>(left);
    }
    return kWritePiece;
}

// Room for the largest write of the body (the merged last two pieces of a
// file), and for the start of the answer.
size_t BufferSize(const HttpBody& body) {
    const uint64_t largest = body.bytes != nullptr || body.size < 2 * uint64_t{kWritePiece}
                                 ? body.size
                                 : 2 * uint64_t{kWritePiece};
    return std::max<size_t>(kBodyStartSize, static_cast<size_t>(largest));
}

void LetGo(RequestState* state) {
    if (--state->owners == 0) {
        delete state;
    }
}

void CALLBACK OnRequestStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info,
                              DWORD infoLength) {
    auto* state = reinterpret_cast<RequestState*>(context);
    if (state == nullptr) {
        return;
    }
    switch (status) {
        case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
        case WINHTTP_CALLBACK_STATUS_WRITE_COMPLETE:
        case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
            SetEvent(state->stepDone.Get());
            break;
        case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
            state->bytesRead = infoLength;
            SetEvent(state->stepDone.Get());
            break;
        case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR: {
            const DWORD error = static_cast<WINHTTP_ASYNC_RESULT*>(info)->dwError;
            state->error = error != 0 ? error : ERROR_WINHTTP_INTERNAL_ERROR;
            SetEvent(state->stepDone.Get());
            break;
        }
        case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
            LetGo(state);  // the last call for this request
            break;
        default:
            break;
    }
}

// One request on its connection, ended (and its state let go) on leaving.
class AsyncRequest {
  public:
    AsyncRequest(HANDLE cancel, const HttpBounds& bounds, size_t bufferSize)
        : state_(new (std::nothrow) RequestState(bufferSize)), cancel_(cancel), bounds_(bounds) {}

    ~AsyncRequest() {
        request_.Reset();
        connection_.Reset();
        if (state_ != nullptr) {
            // Without its callback the stack never had the state.
            if (!callbackSet_) {
                LetGo(state_);
            }
            LetGo(state_);
        }
    }

    // Kinds kNone, kNetwork or kSetting (with *setting naming what).
    HttpFailure Open(HINTERNET session, const HttpUrl& url, DWORD* error, const wchar_t** setting) {
        if (state_ == nullptr || !state_->stepDone || !state_->buffer) {
            *error = ERROR_NOT_ENOUGH_MEMORY;
            return HttpFailure::kNetwork;
        }
        connection_.Reset(WinHttpConnect(session, url.host.c_str(), url.port, 0));
        const std::wstring target = RequestTarget(url);
        if (connection_) {
            request_.Reset(WinHttpOpenRequest(connection_.Get(), L"POST", target.c_str(), nullptr,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                              url.secure ? WINHTTP_FLAG_SECURE : 0));
        }
        if (!request_ || !SetCallback()) {
            *error = GetLastError();
            return HttpFailure::kNetwork;
        }
        const int timeout = static_cast<int>(bounds_.stepTimeoutMs);
        if (!WinHttpSetTimeouts(request_.Get(), timeout, timeout, timeout, timeout)) {
            *error = GetLastError();
            return HttpFailure::kNetwork;
        }
        // A redirect is shown as the server's answer: the URL needs mending.
        // A request that would follow one (and take its headers, a password
        // among them, to another host) is never sent.
        DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
        if (!WinHttpSetOption(request_.Get(), WINHTTP_OPTION_REDIRECT_POLICY, &never,
                              sizeof(never))) {
            *error = GetLastError();
            *setting = L"turning redirects off";
            return HttpFailure::kSetting;
        }
        DWORD revocation = WINHTTP_ENABLE_SSL_REVOCATION;
        if (url.secure && !WinHttpSetOption(request_.Get(), WINHTTP_OPTION_ENABLE_FEATURE,
                                            &revocation, sizeof(revocation))) {
            *error = GetLastError();
            *setting = L"the certificate revocation check";
            return HttpFailure::kSetting;
        }
        return HttpFailure::kNone;
    }

    HINTERNET handle() const { return request_.Get(); }
    unsigned char* buffer() { return state_->buffer.get(); }
    DWORD bytesRead() const { return state_->bytesRead; }

    // Call before starting a step.
    void Arm() {
        state_->error = 0;
        ResetEvent(state_->stepDone.Get());
    }

    // Waits for the step started last; kNone when it completed.
    HttpFailure WaitStep(DWORD* error) {
        DWORD wait = bounds_.stepTimeoutMs;
        bool deadlineFirst = false;
        if (bounds_.deadlineTick != 0) {
            const uint64_t now = GetTickCount64();
            const uint64_t left = bounds_.deadlineTick > now ? bounds_.deadlineTick - now : 0;
            deadlineFirst = left <= wait;
            wait = deadlineFirst ? static_cast<DWORD>(left) : wait;
        }
        HANDLE handles[2] = {state_->stepDone.Get(), cancel_};
        const DWORD count = cancel_ != nullptr ? 2 : 1;
        const DWORD waited = WaitForMultipleObjects(count, handles, FALSE, wait);
        if (waited == WAIT_OBJECT_0 + 1) {
            return HttpFailure::kCancelled;
        }
        if (waited == WAIT_TIMEOUT) {
            return deadlineFirst ? HttpFailure::kDeadline : HttpFailure::kTimedOut;
        }
        *error = waited == WAIT_OBJECT_0 ? state_->error.load() : GetLastError();
        if (*error == ERROR_WINHTTP_TIMEOUT) {
            return HttpFailure::kTimedOut;
        }
        return *error == 0 ? HttpFailure::kNone : HttpFailure::kNetwork;
    }

  private:
    bool SetCallback() {
        DWORD_PTR context = reinterpret_cast<DWORD_PTR>(state_);
        if (!WinHttpSetOption(request_.Get(), WINHTTP_OPTION_CONTEXT_VALUE, &context,
                              sizeof(context)) ||
            WinHttpSetStatusCallback(
                request_.Get(), OnRequestStatus,
                WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES,
                0) == WINHTTP_INVALID_STATUS_CALLBACK) {
            return false;
        }
        callbackSet_ = true;
        return true;
    }

    RequestState* state_;
    bool callbackSet_ = false;
    HANDLE cancel_;
    HttpBounds bounds_;
    UniqueInternet connection_;
    UniqueInternet request_;
};

// A step's outcome: kNone to go on.
HttpFailure Started(AsyncRequest* request, BOOL started, DWORD* error) {
    if (!started) {
        *error = GetLastError();
        return HttpFailure::kNetwork;
    }
    return request->WaitStep(error);
}

std::wstring RequestHeaders(const HttpUrl& url, const HttpBody& body) {
    std::wstring headers = L"Content-Type: " +
                           std::wstring(body.contentType.begin(), body.contentType.end()) + L"\r\n";
    if (body.contentEncoding != nullptr) {
        const std::string encoding = body.contentEncoding;
        headers += L"Content-Encoding: " + std::wstring(encoding.begin(), encoding.end()) + L"\r\n";
    }
    const std::wstring authorization = BasicAuthorization(url);
    if (!authorization.empty()) {
        headers += L"Authorization: " + authorization + L"\r\n";
    }
    // The length parameter of the send call is 32-bit; beyond it the header
    // says it.
    if (body.size > MAXDWORD) {
        headers += L"Content-Length: " + std::to_wstring(body.size) + L"\r\n";
    }
    return headers;
}

// The piece's bytes in the request's buffer, which outlives a request cut off
// in the middle of a write.
bool FillPiece(AsyncRequest* request, const HttpBody& body, uint64_t sent, DWORD piece,
               DWORD* error) {
    if (body.bytes != nullptr) {
        memcpy(request->buffer(), body.bytes + sent, piece);
        return true;
    }
    DWORD got = 0;
    if (!ReadFile(body.file, request->buffer(), piece, &got, nullptr)) {
        *error = GetLastError();
        return false;
    }
    if (got != piece) {
        *error = ERROR_HANDLE_EOF;  // the body file is shorter than it was
        return false;
    }
    return true;
}

HttpFailure SendBody(AsyncRequest* request, const HttpBody& body, DWORD* error) {
    uint64_t sent = 0;
    while (sent < body.size) {
        const DWORD piece = NextPiece(body, body.size - sent);
        if (!FillPiece(request, body, sent, piece, error)) {
            return HttpFailure::kNetwork;
        }
        request->Arm();
        const HttpFailure failure = Started(
            request, WinHttpWriteData(request->handle(), request->buffer(), piece, nullptr), error);
        if (failure != HttpFailure::kNone) {
            return failure;
        }
        sent += piece;
    }
    return HttpFailure::kNone;
}

std::wstring QueryHeaderText(HINTERNET request, DWORD which, size_t capacity = 256) {
    std::wstring text(capacity, L'\0');
    DWORD size = static_cast<DWORD>(capacity * sizeof(wchar_t));
    if (!WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &size,
                             WINHTTP_NO_HEADER_INDEX)) {
        return std::wstring();
    }
    text.resize(size / sizeof(wchar_t));
    return text;
}

// A redirect's target as it may be shown: without user information, query
// or fragment, printable, at most 200 characters.
std::wstring ShownLocation(const std::wstring& location) {
    std::wstring shown = ShownUrlText(location);
    shown = shown.substr(0, shown.find_first_of(L"?#"));
    for (wchar_t& c : shown) {
        c = c >= 0x20 && c < 0x7F ? c : L'?';
    }
    return shown.substr(0, 200);
}

// Retry-After as seconds, or as a date the server gave.
std::optional<uint32_t> RetryAfter(HINTERNET request) {
    const std::wstring value = QueryHeaderText(request, WINHTTP_QUERY_RETRY_AFTER);
    if (value.empty()) {
        return std::nullopt;
    }
    if (const std::optional<uint32_t> seconds = RetryAfterDelaySeconds(value)) {
        return seconds;
    }
    SYSTEMTIME date = {};
    FILETIME then = {};
    FILETIME now = {};
    if (!WinHttpTimeToSystemTime(value.c_str(), &date) || !SystemTimeToFileTime(&date, &then)) {
        return std::nullopt;
    }
    GetSystemTimeAsFileTime(&now);
    const uint64_t later = FileTimeTicks(then);
    const uint64_t current = FileTimeTicks(now);
    const uint64_t seconds = later > current ? (later - current) / 10000000 : 0;
    return static_cast<uint32_t>(seconds < 0xFFFFFFFF ? seconds : 0xFFFFFFFF);
}

HttpFailure ReadAnswer(AsyncRequest* request, HttpPostResult* result, DWORD* error) {
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!WinHttpQueryHeaders(
            request->handle(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
            WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
        *error = GetLastError();
        return HttpFailure::kNetwork;
    }
    result->status = status;
    result->statusText = QueryHeaderText(request->handle(), WINHTTP_QUERY_STATUS_TEXT);
    result->retryAfterSeconds = RetryAfter(request->handle());
    if (status >= 300 && status <= 399) {
        result->location = ShownLocation(
            QueryHeaderText(request->handle(), WINHTTP_QUERY_LOCATION, kMaxLocationLength));
    }
    // Only the start of the body matters: its first line is the crash's id.
    while (result->bodyStart.size() < kBodyStartSize) {
        request->Arm();
        const DWORD want = kBodyStartSize - static_cast<DWORD>(result->bodyStart.size());
        const HttpFailure failure = Started(
            request, WinHttpReadData(request->handle(), request->buffer(), want, nullptr), error);
        if (failure != HttpFailure::kNone) {
            return failure;
        }
        const DWORD got = request->bytesRead();
        if (got == 0) {
            break;
        }
        result->bodyStart.append(reinterpret_cast<const char*>(request->buffer()), got);
    }
    return HttpFailure::kNone;
}

}  // namespace

HttpClient::HttpClient() = default;

HttpClient::~HttpClient() {
    if (session_ != nullptr) {
        WinHttpCloseHandle(static_cast<HINTERNET>(session_));
    }
}

bool HttpClient::Open(DWORD* error) {
    const std::string version = VARNHOLD_VERSION;
    const std::wstring agentText = L"varnhold/" + std::wstring(version.begin(), version.end());
    const wchar_t* agent = agentText.c_str();
    // The automatic proxy type follows the user's proxy settings, proxy
    // auto-configuration included; systems before Windows 8.1 refuse it and
    // get the machine's WinHTTP proxy.
    HINTERNET session =
        WinHttpOpen(agent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                    WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
    if (session == nullptr) {
        session = WinHttpOpen(agent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                              WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
    }
    if (session == nullptr) {
        *error = GetLastError();
        return false;
    }
    // Older systems offer no TLS 1.2 unless asked; asking for 1.3 fails there.
    // Nothing older than 1.2 is offered; where not even that can be set, no
    // https request is sent.
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | kTls13;
    if (!WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                          sizeof(protocols))) {
        protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
        if (!WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                              sizeof(protocols))) {
            tlsError_ = GetLastError();
        }
    }
    session_ = session;
    return true;
}

HttpPostResult HttpClient::Post(const HttpUrl& url, const HttpBody& body, HANDLE cancel,
                                const HttpBounds& bounds) const {
    HttpPostResult result;
    AsyncRequest request(cancel, bounds, BufferSize(body));
    DWORD error = 0;
    HttpFailure failure =
        request.Open(static_cast<HINTERNET>(session_), url, &error, &result.setting);
    if (failure == HttpFailure::kNone && url.secure && tlsError_ != 0) {
        failure = HttpFailure::kSetting;
        error = tlsError_;
        result.setting = L"TLS 1.2 or later";
    }
    if (failure == HttpFailure::kNone) {
        const std::wstring headers = RequestHeaders(url, body);
        const DWORD total = body.size > MAXDWORD ? WINHTTP_IGNORE_REQUEST_TOTAL_LENGTH
                                                 : static_cast<DWORD>(body.size);
        request.Arm();
        failure = Started(&request,
                          WinHttpSendRequest(request.handle(), headers.c_str(),
                                             static_cast<DWORD>(headers.size()),
                                             WINHTTP_NO_REQUEST_DATA, 0, total, 0),
                          &error);
    }
    if (failure == HttpFailure::kNone) {
        failure = SendBody(&request, body, &error);
        // A server may answer before it has read the body, and hang up: the
        // write then fails, and the answer is what counts.
        if (failure == HttpFailure::kNetwork) {
            DWORD answerError = 0;
            request.Arm();
            if (Started(&request, WinHttpReceiveResponse(request.handle(), nullptr),
                        &answerError) == HttpFailure::kNone &&
                ReadAnswer(&request, &result, &answerError) == HttpFailure::kNone) {
                failure = HttpFailure::kNone;
            }
        } else if (failure == HttpFailure::kNone) {
            request.Arm();
            failure = Started(&request, WinHttpReceiveResponse(request.handle(), nullptr), &error);
            if (failure == HttpFailure::kNone) {
                failure = ReadAnswer(&request, &result, &error);
            }
        }
    }
    result.failure = failure;
    const bool withError = failure == HttpFailure::kNetwork || failure == HttpFailure::kSetting;
    result.error = withError ? error : 0;
    if (failure != HttpFailure::kSetting) {
        result.setting = nullptr;
    }
    return result;
}

std::wstring NetworkErrorText(DWORD error) {
    struct Known {
        DWORD error;
        const wchar_t* text;
    };
    static const Known kKnown[] = {
        {ERROR_WINHTTP_TIMEOUT, L"the request timed out"},
        {ERROR_WINHTTP_NAME_NOT_RESOLVED, L"the server's name cannot be resolved"},
        {ERROR_WINHTTP_CANNOT_CONNECT, L"cannot connect to the server"},
        {ERROR_WINHTTP_CONNECTION_ERROR, L"the connection to the server was broken"},
        {ERROR_WINHTTP_INVALID_SERVER_RESPONSE, L"the server's answer is not HTTP"},
        {ERROR_WINHTTP_SECURE_FAILURE, L"the server's certificate is not trusted"},
        // Wine reports a certificate it does not trust this way.
        {ERROR_WINHTTP_SECURE_CHANNEL_ERROR, L"the secure connection to the server failed"},
        {ERROR_WINHTTP_SECURE_CERT_CN_INVALID, L"the server's certificate is for another name"},
        {ERROR_WINHTTP_SECURE_CERT_DATE_INVALID, L"the server's certificate has expired"},
        {ERROR_WINHTTP_SECURE_INVALID_CA, L"the server's certificate is not trusted"},
        {ERROR_WINHTTP_SECURE_CERT_REVOKED, L"the server's certificate was revoked"},
        {ERROR_WINHTTP_SECURE_CERT_REV_FAILED,
         L"the server's certificate could not be checked for revocation"},
        {ERROR_WINHTTP_INVALID_URL, L"the URL is not valid"},
        {ERROR_WINHTTP_UNRECOGNIZED_SCHEME, L"the URL is not http or https"},
    };
    for (const Known& known : kKnown) {
        if (known.error == error) {
            return std::wstring(known.text) + L" (error " + std::to_wstring(error) + L")";
        }
    }
    // The system's own table has texts for system errors only; WinHTTP's
    // are in a module of their own, which not every system can format.
    const HMODULE source = GetModuleHandleW(L"winhttp.dll");
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE |
                           FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
                       source, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    UniqueLocalMemory owner(text);
    std::wstring message = length != 0 && text != nullptr ? std::wstring(text, length) : L"";
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.')) {
        message.pop_back();
    }
    const std::wstring number = L"error " + std::to_wstring(error);
    return message.empty() ? number : message + L" (" + number + L")";
}

std::wstring HttpFailureText(const HttpPostResult& result, DWORD stepTimeoutMs,
                             uint64_t deadlineSeconds) {
    switch (result.failure) {
        case HttpFailure::kNone:
            return StatusText(result.status, result.statusText);
        case HttpFailure::kTimedOut:
            return L"no answer from the server within " +
                   std::to_wstring((stepTimeoutMs + 999) / 1000) + L" s";
        case HttpFailure::kDeadline:
            return L"not sent within the " + std::to_wstring(deadlineSeconds) +
                   L" s an upload of this dump may take";
        case HttpFailure::kCancelled:
            return L"cancelled";
        case HttpFailure::kNetwork:
            return NetworkErrorText(result.error);
        case HttpFailure::kSetting:
            return std::wstring(L"the system's HTTP stack refused ") + result.setting + L": " +
                   NetworkErrorText(result.error);
    }
    return std::wstring();
}
