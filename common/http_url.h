// Web addresses of crash servers: parsed for sending, and shown without what
// may be secret. A server's key often travels in the query
// (".../minidump/?key=..."), and a user name and password may stand before
// the host; neither is ever printed, logged or written to a file. The form
// shown everywhere is scheme://host[:port]/path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct HttpUrl {
    bool secure = false;  // https
    std::wstring host;    // an IPv6 address without its brackets
    uint16_t port = 0;    // the given port, or 80 / 443
    bool portGiven = false;
    std::wstring path;      // from its "/" on; "/" when the URL has none
    std::wstring query;     // after "?", without the fragment; may be empty
    std::wstring userInfo;  // before "@", still percent-encoded; may be empty
};

enum class UrlFault {
    kNone,
    kNotHttp,       // another scheme, or none
    kNoHost,        // nothing between "//" and the path
    kBadPort,       // not a number from 1 to 65535
    kBadCharacter,  // blanks, quotes or control characters
    kTooLong,       // longer than kMaxUrlLength, or a host name beyond DNS's limit
};

// URLs longer than this are refused. The platform's URL functions size their
// buffers for it (INTERNET_MAX_URL_LENGTH: a 32-character scheme, "://" and
// a 2048-character remainder); a longer URL is cut or refused by some of
// them, and it would crowd a postmortem registration's command line.
constexpr size_t kMaxUrlLength = 2083;
// A DNS name has at most 253 characters; an IPv6 literal far fewer.
constexpr size_t kMaxHostLength = 253;

// Parses text as an http or https URL. On kNone *url holds the parts; on a
// fault it is left unchanged.
UrlFault ParseHttpUrl(const wchar_t* text, HttpUrl* url);

// What is wrong, for a message that follows the option's name: "is not an
// http or https URL", ... Empty for kNone.
const wchar_t* UrlFaultText(UrlFault fault);

// scheme://host[:port]/path: no user information, query or fragment. The
// port only when the URL gave one.
std::wstring ShownUrl(const HttpUrl& url);

// The path and query as sent in the request line.
std::wstring RequestTarget(const HttpUrl& url);

// "Basic <base64 of user:password>" for a URL with user information (its
// percent escapes decoded), empty without.
std::wstring BasicAuthorization(const HttpUrl& url);

// The shown form of any text that begins with http:// or https:// (upper
// case too), valid URL or not: the user information, the query and the
// fragment are cut out. Other text is returned unchanged.
std::wstring ShownUrlText(const std::wstring& text);

// A command line with every http:// or https:// URL in it replaced by its
// shown form, for the files and logs that quote the command line. A URL ends
// at a blank outside quotes or at a quote, as the command line's own
// splitting ends an argument.
std::wstring CommandLineWithoutUrlSecrets(const wchar_t* commandLine);
