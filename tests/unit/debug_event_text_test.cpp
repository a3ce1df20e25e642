#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "console/monitors/debug_event_comment.h"
#include "console/monitors/debug_string_text.h"

namespace {

TEST(DebugStringText, EndsAtTheTerminatorTheTargetSent) {
    const char narrow[] = {'h', 'i', '\0', 'x'};
    EXPECT_EQ(NarrowTextLength(narrow, sizeof narrow), 2u);
    const wchar_t wide[] = {L'h', L'i', L'\0', L'x'};
    EXPECT_EQ(WideTextLength(wide, 4), 2u);
}

TEST(DebugStringText, EndsWithinTheBytesReadWithoutATerminator) {
    const char narrow[] = {'a', 'b', 'c'};
    EXPECT_EQ(NarrowTextLength(narrow, sizeof narrow), 3u);
    const wchar_t wide[] = {L'a', L'b', L'c'};
    EXPECT_EQ(WideTextLength(wide, 3), 3u);
}

TEST(DebugStringText, ZeroLengthIsEmpty) {
    const char narrow[] = {'a'};
    EXPECT_EQ(NarrowTextLength(narrow, 0), 0u);
    const wchar_t wide[] = {L'a'};
    EXPECT_EQ(WideTextLength(wide, 0), 0u);
}

TEST(DebugEventComment, NamesTheChanceCodeAndName) {
    wchar_t comment[1024];
    FormatExceptionComment(comment, 1024, L"varnhold -e 12", 0xC0000005, false);
    EXPECT_STREQ(comment,
                 L"\n*** varnhold -e 12\n*** Unhandled exception: C0000005ACCESS_VIOLATION\n");
    FormatExceptionComment(comment, 1024, L"varnhold -e -1 12", 0x80000003, true);
    EXPECT_STREQ(comment,
                 L"\n*** varnhold -e -1 12\n*** First chance exception: 80000003BREAKPOINT\n");
    FormatTerminationComment(comment, 1024, L"varnhold -t 12");
    EXPECT_STREQ(comment, L"\n*** varnhold -t 12\n*** Process termination.\n");
}

TEST(DebugEventComment, LongCommandLineIsShortenedAndTheReasonKept) {
    std::wstring commandLine(2000, L'x');
    wchar_t comment[1024];
    FormatTerminationComment(comment, 1024, commandLine.c_str());
    std::wstring text(comment);
    EXPECT_EQ(text.size(), 1023u);
    EXPECT_EQ(text.substr(0, 6), L"\n*** x");
    const std::wstring reason = L"\n*** Process termination.\n";
    EXPECT_EQ(text.substr(text.size() - reason.size()), reason);

    FormatExceptionComment(comment, 1024, commandLine.c_str(), 0xC0000005, false);
    text = comment;
    const std::wstring unhandled = L"\n*** Unhandled exception: C0000005ACCESS_VIOLATION\n";
    EXPECT_EQ(text.size(), 1023u);
    EXPECT_EQ(text.substr(text.size() - unhandled.size()), unhandled);
}

}  // namespace
