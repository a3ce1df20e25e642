#include "console/upload/upload_outcome.h"

#include <winhttp.h>

#include <algorithm>

namespace {

constexpr size_t kMaxIdLength = 200;

struct StatusClass {
    uint32_t first;
    uint32_t last;
    UploadVerdict verdict;
};

// The one table of answers; a status it does not name rejects the dump.
constexpr StatusClass kStatusClasses[] = {
    {200, 203, UploadVerdict::kAccepted},
    // A redirect is never followed (the headers would go to another host):
    // the URL needs mending.
    {300, 399, UploadVerdict::kRefused},
    {401, 401, UploadVerdict::kRefused},  // the key or the password
    {403, 405, UploadVerdict::kRefused},  // forbidden, no such URL, no POST there
    {407, 407, UploadVerdict::kRefused},  // the proxy wants credentials
    {408, 408, UploadVerdict::kRetry},
    {410, 410, UploadVerdict::kRefused},  // the URL is gone for good
    {429, 429, UploadVerdict::kRetry},
    {500, 599, UploadVerdict::kRetry},
};

// Failures without an answer that no retry mends: the server's certificate
// and what this machine's HTTP stack cannot do. Any other is tried again.
constexpr DWORD kRefusingErrors[] = {
    ERROR_WINHTTP_SECURE_FAILURE,          ERROR_WINHTTP_SECURE_CHANNEL_ERROR,
    ERROR_WINHTTP_SECURE_CERT_CN_INVALID,  ERROR_WINHTTP_SECURE_CERT_DATE_INVALID,
    ERROR_WINHTTP_SECURE_INVALID_CA,       ERROR_WINHTTP_SECURE_CERT_REVOKED,
    ERROR_WINHTTP_SECURE_INVALID_CERT,     ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE,
    ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED, ERROR_WINHTTP_INVALID_URL,
    ERROR_WINHTTP_UNRECOGNIZED_SCHEME,
};

std::wstring Widened(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

}  // namespace

UploadVerdict VerdictOfStatus(uint32_t status) {
    for (const StatusClass& range : kStatusClasses) {
        if (status >= range.first && status <= range.last) {
            return range.verdict;
        }
    }
    return UploadVerdict::kRejected;
}

UploadVerdict VerdictOfNetworkError(DWORD error) {
    for (const DWORD refusing : kRefusingErrors) {
        if (error == refusing) {
            return UploadVerdict::kRefused;
        }
    }
    return UploadVerdict::kRetry;
}

std::string FirstLineOfBody(const std::string& bodyStart) {
    std::string line;
    for (char c : bodyStart) {
        if (c == '\r' || c == '\n' || line.size() == kMaxIdLength) {
            break;
        }
        const unsigned char byte = static_cast<unsigned char>(c);
        line += byte >= 0x20 && byte < 0x7F ? c : '?';
    }
    // Trailing blanks are no part of an id.
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return line;
}

std::wstring StatusText(uint32_t status, const std::wstring& reasonPhrase) {
    std::wstring text = L"HTTP " + std::to_wstring(status);
    std::wstring phrase;
    for (wchar_t c : reasonPhrase) {
        if (phrase.size() < 80) {
            phrase += c >= 0x20 && c < 0x7F ? c : L'?';
        }
    }
    return phrase.empty() ? text : text + L" " + phrase;
}

std::optional<uint32_t> RetryAfterDelaySeconds(const std::wstring& value) {
    size_t at = value.find_first_not_of(L" \t");
    if (at == std::wstring::npos) {
        return std::nullopt;
    }
    uint64_t seconds = 0;
    size_t digits = 0;
    for (; at < value.size() && value[at] >= L'0' && value[at] <= L'9'; ++at, ++digits) {
        seconds =
            std::min<uint64_t>(seconds * 10 + static_cast<uint64_t>(value[at] - L'0'), 0xFFFFFFFF);
    }
    if (digits == 0 || value.find_first_not_of(L" \t", at) != std::wstring::npos) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(seconds);
}

UploadOutcome OutcomeOfAnswer(uint32_t status, const std::wstring& statusText,
                              const std::string& bodyStart,
                              std::optional<uint32_t> retryAfterSeconds,
                              const std::wstring& redirectTarget) {
    UploadOutcome outcome;
    outcome.status = status;
    outcome.verdict = VerdictOfStatus(status);
    if (outcome.verdict == UploadVerdict::kAccepted) {
        const std::string firstLine = FirstLineOfBody(bodyStart);
        outcome.id = firstLine;
        if (firstLine.compare(0, 10, "Discarded=") == 0) {
            outcome.verdict = UploadVerdict::kDiscarded;
            outcome.reason = Widened(firstLine);
        }
        return outcome;
    }
    outcome.reason = StatusText(status, statusText);
    if (status >= 300 && status <= 399 && !redirectTarget.empty()) {
        outcome.reason += L" (to " + redirectTarget + L")";
    }
    if (outcome.verdict == UploadVerdict::kRetry) {
        outcome.retryAfterSeconds = retryAfterSeconds;
    }
    return outcome;
}
