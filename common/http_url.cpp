#include "common/http_url.h"

#include "common/utf8_text.h"

#include <cwctype>
#include <vector>

namespace {

bool StartsWithNoCase(const std::wstring& text, size_t at, const wchar_t* prefix) {
    for (size_t i = 0; prefix[i] != L'\0'; ++i) {
        if (at + i >= text.size() || std::towlower(text[at + i]) != prefix[i]) {
            return false;
        }
    }
    return true;
}

// The length of "http://" or "https://" at text[at], or 0.
size_t SchemeLengthAt(const std::wstring& text, size_t at) {
    if (StartsWithNoCase(text, at, L"https://")) {
        return 8;
    }
    return StartsWithNoCase(text, at, L"http://") ? 7 : 0;
}

// A quote is no URL character (it is percent-encoded as %22) and would end
// the URL's quoted value in a registered command line.
bool IsBlankQuoteOrControl(wchar_t c) {
    return c <= L' ' || c == 0x7F || c == L'"';
}

// Splits host[:port] (the authority without user information).
UrlFault ParseHostAndPort(const std::wstring& hostPort, HttpUrl* url) {
    size_t portColon = std::wstring::npos;
    if (!hostPort.empty() && hostPort[0] == L'[') {
        const size_t close = hostPort.find(L']');
        if (close == std::wstring::npos) {
            return UrlFault::kNoHost;
        }
        url->host = hostPort.substr(1, close - 1);
        if (close + 1 < hostPort.size()) {
            if (hostPort[close + 1] != L':') {
                return UrlFault::kBadPort;
            }
            portColon = close + 1;
        }
    } else {
        portColon = hostPort.find(L':');
        url->host = hostPort.substr(0, portColon);
    }
    if (url->host.empty()) {
        return UrlFault::kNoHost;
    }
    if (url->host.size() > kMaxHostLength) {
        return UrlFault::kTooLong;
    }
    url->port = url->secure ? 443 : 80;
    url->portGiven = false;
    // "host:" with no digits means the default port.
    if (portColon == std::wstring::npos || portColon + 1 == hostPort.size()) {
        return UrlFault::kNone;
    }
    uint32_t port = 0;
    for (size_t i = portColon + 1; i < hostPort.size(); ++i) {
        const wchar_t c = hostPort[i];
        if (c < L'0' || c > L'9' || port > 6553) {
            return UrlFault::kBadPort;
        }
        port = port * 10 + static_cast<uint32_t>(c - L'0');
    }
    if (port == 0 || port > 65535) {
        return UrlFault::kBadPort;
    }
    url->port = static_cast<uint16_t>(port);
    url->portGiven = true;
    return UrlFault::kNone;
}

// One argument of a command line: where it stands and what it means.
struct Argument {
    size_t begin = 0;
    size_t end = 0;
    std::wstring value;
};

// The program's own name: up to the closing quote, or to the first blank.
Argument FirstArgument(const std::wstring& line) {
    Argument argument;
    size_t at = 0;
    if (!line.empty() && line[0] == L'"') {
        const size_t close = line.find(L'"', 1);
        argument.value = line.substr(1, close == std::wstring::npos ? close : close - 1);
        at = close == std::wstring::npos ? line.size() : close + 1;
    }
    while (at < line.size() && line[at] != L' ' && line[at] != L'\t') {
        argument.value += line[at++];
    }
    argument.end = at;
    return argument;
}

// The arguments after the program's name, split as the runtime splits them:
// 2n backslashes and a quote give n backslashes and open or close a quoted
// part, 2n+1 give n backslashes and a literal quote, and "" inside a quoted
// part is a literal quote.
std::vector<Argument> SplitCommandLine(const std::wstring& line) {
    std::vector<Argument> arguments{FirstArgument(line)};
    size_t at = arguments[0].end;
    while (true) {
        while (at < line.size() && (line[at] == L' ' || line[at] == L'\t')) {
            ++at;
        }
        if (at >= line.size()) {
            return arguments;
        }
        Argument argument;
        argument.begin = at;
        bool quoted = false;
        while (at < line.size() && (quoted || (line[at] != L' ' && line[at] != L'\t'))) {
            size_t backslashes = 0;
            while (at < line.size() && line[at] == L'\\') {
                ++backslashes, ++at;
            }
            if (at < line.size() && line[at] == L'"') {
                argument.value.append(backslashes / 2, L'\\');
                if (backslashes % 2 == 1) {
                    argument.value += L'"';
                } else if (quoted && at + 1 < line.size() && line[at + 1] == L'"') {
                    argument.value += L'"';
                    ++at;
                } else {
                    quoted = !quoted;
                }
                ++at;
            } else {
                argument.value.append(backslashes, L'\\');
                if (backslashes == 0 && at < line.size()) {
                    argument.value += line[at++];
                }
            }
        }
        argument.end = at;
        arguments.push_back(std::move(argument));
    }
}

// Every URL in the text (up to the next blank) in its shown form.
std::wstring WithUrlsShown(const std::wstring& text) {
    std::wstring result;
    size_t at = 0;
    while (at < text.size()) {
        if (SchemeLengthAt(text, at) == 0) {
            result += text[at++];
            continue;
        }
        size_t end = at;
        while (end < text.size() && text[end] != L' ' && text[end] != L'\t') {
            ++end;
        }
        result += ShownUrlText(text.substr(at, end - at));
        at = end;
    }
    return result;
}

// An argument written back so that the runtime reads value from it.
std::wstring QuotedArgument(const std::wstring& value) {
    if (!value.empty() && value.find_first_of(L" \t\"") == std::wstring::npos) {
        return value;
    }
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : value) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');  // before the closing quote
    return quoted + L"\"";
}

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') {
        return c - L'0';
    }
    if (c >= L'a' && c <= L'f') {
        return c - L'a' + 10;
    }
    return c >= L'A' && c <= L'F' ? c - L'A' + 10 : -1;
}

// The bytes that percent-encoded text stands for; the characters between
// escapes are taken as UTF-8.
std::string PercentDecoded(const std::wstring& text) {
    std::string bytes;
    std::wstring plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            bytes += Utf8FromWide(plain.c_str(), plain.size());
            plain.clear();
            bytes += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            plain += text[i];
        }
    }
    return bytes + Utf8FromWide(plain.c_str(), plain.size());
}

std::wstring Base64(const std::string& bytes) {
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::wstring text;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) {
            group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        }
        if (i + 2 < bytes.size()) {
            group |= static_cast<unsigned char>(bytes[i + 2]);
        }
        for (size_t k = 0; k < 4; ++k) {
            const bool present = k <= bytes.size() - i;
            text += present ? static_cast<wchar_t>(alphabet[(group >> (18 - 6 * k)) & 0x3F]) : L'=';
        }
    }
    return text;
}

}  // namespace

UrlFault ParseHttpUrl(const wchar_t* text, HttpUrl* url) {
    const std::wstring whole = text != nullptr ? text : L"";
    const size_t schemeLength = SchemeLengthAt(whole, 0);
    if (schemeLength == 0) {
        return UrlFault::kNotHttp;
    }
    if (whole.size() > kMaxUrlLength) {
        return UrlFault::kTooLong;
    }
    for (wchar_t c : whole) {
        if (IsBlankQuoteOrControl(c)) {
            return UrlFault::kBadCharacter;
        }
    }
    HttpUrl parsed;
    parsed.secure = schemeLength == 8;
    const size_t authorityEnd = whole.find_first_of(L"/?#", schemeLength);
    std::wstring authority = whole.substr(schemeLength, authorityEnd - schemeLength);
    const size_t at = authority.rfind(L'@');
    if (at != std::wstring::npos) {
        parsed.userInfo = authority.substr(0, at);
        authority.erase(0, at + 1);
    }
    const UrlFault fault = ParseHostAndPort(authority, &parsed);
    if (fault != UrlFault::kNone) {
        return fault;
    }
    std::wstring rest;
    if (authorityEnd != std::wstring::npos) {
        rest = whole.substr(authorityEnd);
    }
    const std::wstring beforeFragment = rest.substr(0, rest.find(L'#'));
    const size_t question = beforeFragment.find(L'?');
    parsed.path = beforeFragment.substr(0, question);
    if (parsed.path.empty()) {
        parsed.path = L"/";
    }
    if (question != std::wstring::npos) {
        parsed.query = beforeFragment.substr(question + 1);
    }
    *url = std::move(parsed);
    return UrlFault::kNone;
}

const wchar_t* UrlFaultText(UrlFault fault) {
    switch (fault) {
        case UrlFault::kNone:
            return L"";
        case UrlFault::kNotHttp:
            return L"is not an http:// or https:// URL";
        case UrlFault::kNoHost:
            return L"names no host";
        case UrlFault::kBadPort:
            return L"has a port that is not a number from 1 to 65535";
        case UrlFault::kBadCharacter:
            return L"holds a blank, a quote or a control character";
        case UrlFault::kTooLong:
            return L"is too long (at most 2083 characters, a host name at most 253)";
    }
    return L"";
}

std::wstring ShownUrl(const HttpUrl& url) {
    std::wstring shown = url.secure ? L"https://" : L"http://";
    const bool ipv6 = url.host.find(L':') != std::wstring::npos;
    shown += ipv6 ? L"[" + url.host + L"]" : url.host;
    if (url.portGiven) {
        shown += L":" + std::to_wstring(url.port);
    }
    return shown + url.path;
}

std::wstring RequestTarget(const HttpUrl& url) {
    return url.query.empty() ? url.path : url.path + L"?" + url.query;
}

std::wstring BasicAuthorization(const HttpUrl& url) {
    if (url.userInfo.empty()) {
        return std::wstring();
    }
    return L"Basic " + Base64(PercentDecoded(url.userInfo));
}

std::wstring ShownUrlText(const std::wstring& text) {
    const size_t schemeLength = SchemeLengthAt(text, 0);
    if (schemeLength == 0) {
        return text;
    }
    const size_t secretsFrom = text.find_first_of(L"?#", schemeLength);
    std::wstring kept = text.substr(0, secretsFrom);
    const size_t authorityEnd = kept.find(L'/', schemeLength);
    const size_t at = kept.substr(0, authorityEnd).rfind(L'@');
    if (at != std::wstring::npos && at >= schemeLength) {
        kept.erase(schemeLength, at + 1 - schemeLength);
    }
    return kept;
}

std::wstring CommandLineWithoutUrlSecrets(const wchar_t* commandLine) {
    const std::wstring line = commandLine != nullptr ? commandLine : L"";
    std::wstring result;
    size_t copied = 0;
    for (const Argument& argument : SplitCommandLine(line)) {
        const std::wstring shown = WithUrlsShown(argument.value);
        if (shown == argument.value) {
            continue;
        }
        result += line.substr(copied, argument.begin - copied);
        result += QuotedArgument(shown);
        copied = argument.end;
    }
    return result + line.substr(copied);
}
