#include "console/upload/upload_outcome.h"

#include <algorithm>

namespace {

constexpr size_t kMaxIdLength = 200;

bool IsRetryable(uint32_t status) {
    return status == 408 || status == 429 || (status >= 500 && status <= 599);
}

std::wstring Widened(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

}  // namespace

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
                              std::optional<uint32_t> retryAfterSeconds) {
    UploadOutcome outcome;
    outcome.status = status;
    const std::string firstLine = FirstLineOfBody(bodyStart);
    if (status >= 200 && status <= 203) {
        const bool discarded = firstLine.compare(0, 10, "Discarded=") == 0;
        outcome.verdict = discarded ? UploadVerdict::kDiscarded : UploadVerdict::kAccepted;
        outcome.id = firstLine;
        if (discarded) {
            outcome.reason = Widened(firstLine);
        }
        return outcome;
    }
    outcome.reason = StatusText(status, statusText);
    if (IsRetryable(status)) {
        outcome.verdict = UploadVerdict::kRetry;
        outcome.retryAfterSeconds = retryAfterSeconds;
    } else {
        outcome.verdict = UploadVerdict::kRejected;
    }
    return outcome;
}
