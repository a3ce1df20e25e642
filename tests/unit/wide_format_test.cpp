// The console output relies on the Microsoft meanings of the wide formats.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "common/bounded_text.h"

namespace {

TEST(WideFormats, HaveTheMicrosoftMeanings) {
    wchar_t buffer[128];
    swprintf(buffer, 128, L"%s|%S|%I64d|% 7d|%4d|% 8I64d", L"wide", "narrow",
             static_cast<long long>(-9000000000LL), 42, 7, 123LL);
    EXPECT_STREQ(L"wide|narrow|-9000000000|     42|   7|     123", buffer);
}

TEST(WideFormats, PercentXIsUpperCaseEightDigits) {
    wchar_t buffer[32];
    swprintf(buffer, 32, L"%08X", 0xC0000005u);
    EXPECT_STREQ(L"C0000005", buffer);
}

TEST(BoundedText, CopyRefusesWhatDoesNotFit) {
    wchar_t buffer[4] = L"xyz";
    EXPECT_TRUE(CopyBounded(buffer, 4, L"abc"));
    EXPECT_STREQ(L"abc", buffer);
    EXPECT_FALSE(CopyBounded(buffer, 4, L"abcd"));
    EXPECT_STREQ(L"", buffer);
}

TEST(BoundedText, AppendKeepsTheOldTextWhenTooLong) {
    wchar_t buffer[6] = L"ab";
    EXPECT_TRUE(AppendBounded(buffer, 6, L"cde"));
    EXPECT_STREQ(L"abcde", buffer);
    EXPECT_FALSE(AppendBounded(buffer, 6, L"f"));
    EXPECT_STREQ(L"abcde", buffer);
}

TEST(BoundedText, FormatBoundedFailsCleanlyAndFormatCutCuts) {
    wchar_t buffer[5];
    EXPECT_TRUE(FormatBounded(buffer, 5, L"%d", 1234));
    EXPECT_STREQ(L"1234", buffer);
    EXPECT_FALSE(FormatBounded(buffer, 5, L"%d", 12345));
    EXPECT_STREQ(L"", buffer);
    FormatCut(buffer, 5, L"%s", L"abcdefgh");
    EXPECT_STREQ(L"abcd", buffer);
}

}  // namespace
