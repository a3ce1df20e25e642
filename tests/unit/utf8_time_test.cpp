// Text and times for the files other programs read: UTF-8 from UTF-16 with
// faulty surrogates replaced, UTC ISO 8601 times, the one release version.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/utc_time.h"
#include "common/utf8_text.h"

namespace {

TEST(Utf8FromWide, ConvertsAndReplacesUnpairedSurrogates) {
    struct Case {
        std::wstring wide;
        std::string utf8;
    };
    const Case cases[] = {
        {L"", ""},
        {L"app.exe", "app.exe"},
        {L"\u00e9\u4e2d", "\xc3\xa9\xe4\xb8\xad"},
        {L"\U0001F600", "\xf0\x9f\x98\x80"},  // a surrogate pair
        {std::wstring(1, 0xD800) + L"a",
         "\xef\xbf\xbd"
         "a"},                                              // high without low
        {L"a" + std::wstring(1, 0xDC00), "a\xef\xbf\xbd"},  // low alone
        {std::wstring{wchar_t(0xDC00), wchar_t(0xD800)}, "\xef\xbf\xbd\xef\xbf\xbd"},
        {std::wstring(1, 0xD83D), "\xef\xbf\xbd"},  // high at the very end
        {std::wstring(L"a\0b", 3), std::string("a\0b", 3)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.utf8, Utf8FromWide(c.wide.data(), c.wide.size()));
    }
    EXPECT_EQ("", Utf8FromWide(nullptr));
    EXPECT_EQ("x\xc3\xa9", Utf8FromWide(L"x\u00e9"));
}

TEST(UtcTime, IsoWithMillisecondsFromBothTimeForms) {
    SYSTEMTIME time = {};
    time.wYear = 2026;
    time.wMonth = 12;
    time.wDay = 8;
    time.wHour = 10;
    time.wMinute = 0;
    time.wSecond = 5;
    time.wMilliseconds = 123;
    EXPECT_EQ("2026-12-08T10:00:05.123Z", FormatUtcTime(time));

    FILETIME file;
    ASSERT_TRUE(SystemTimeToFileTime(&time, &file));
    std::string text;
    ASSERT_TRUE(FormatUtcTime(file, &text));
    EXPECT_EQ("2026-12-08T10:00:05.123Z", text);
    const FILETIME epoch = {0, 0};
    ASSERT_TRUE(FormatUtcTime(epoch, &text));
    EXPECT_EQ("1601-01-01T00:00:00.000Z", text);
    const FILETIME beyond = {0, 0x80000000u};
    EXPECT_FALSE(FormatUtcTime(beyond, &text));
    EXPECT_EQ("1601-01-01T00:00:00.000Z", text);

    const std::string now = UtcTimeNow();
    ASSERT_EQ(24u, now.size());
    EXPECT_EQ('T', now[10]);
    EXPECT_EQ(".", now.substr(19, 1));
    EXPECT_EQ('Z', now[23]);
}

TEST(UtcTime, ParsesOnlyItsOwnForm) {
    uint64_t ticks = 0;
    ASSERT_TRUE(ParseUtcTime("2026-12-08T10:00:05.123Z", &ticks));
    FILETIME file = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    std::string text;
    ASSERT_TRUE(FormatUtcTime(file, &text));
    EXPECT_EQ("2026-12-08T10:00:05.123Z", text);
    uint64_t later = 0;
    ASSERT_TRUE(ParseUtcTime("2026-12-08T10:01:05.124Z", &later));
    EXPECT_EQ(600010000u, later - ticks);
    for (const char* other :
         {"", "2026-12-08T10:00:05Z", "2026-12-08 10:00:05.123Z", "2026-02-30T10:00:05.123Z",
          "2026-12-08T25:00:05.123Z", "2026-12-08T10:00:05.123", "2026-12-0xT10:00:05.123Z",
          "2026-12-08T10:00:05.123Z "}) {
        uint64_t untouched = 7;
        EXPECT_FALSE(ParseUtcTime(other, &untouched)) << other;
        EXPECT_EQ(7u, untouched);
    }
}

}  // namespace
