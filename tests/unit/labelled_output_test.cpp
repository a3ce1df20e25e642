// The lines of one process among several watched at once name it after the
// time; without a label a line stays as it is.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/labelled_output.h"

namespace {

TEST(LabelledOutput, TheProcessFollowsTheTimeStamp) {
    SYSTEMTIME now = {};
    now.wHour = 9;
    now.wMinute = 5;
    now.wSecond = 7;
    struct Case {
        const wchar_t* line;
        const wchar_t* label;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"[12:34:56] CPU:            95%    3s\n", L"app.exe (12)",
         L"[12:34:56] app.exe (12) CPU:            95%    3s\n"},
        {L"Dump written.\n", L"app.exe (12)", L"[09:05:07] app.exe (12) Dump written.\n"},
        {L"[12:34:56] Debug String:\nhello\n", L"a (1)",
         L"[12:34:56] a (1) Debug String:\nhello\n"},
        // Not a time stamp: the time is put before it.
        {L"[1:34:56] x\n", L"a (1)", L"[09:05:07] a (1) [1:34:56] x\n"},
        {L"Dump written.\n", nullptr, L"Dump written.\n"},
        {L"[12:34:56] CPU\n", L"", L"[12:34:56] CPU\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(std::wstring(c.expected), LabelLine(c.line, c.label, now)) << c.line;
    }
}

}  // namespace
