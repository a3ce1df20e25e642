// Dump comments: exact texts, and a command line too long for the buffer.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "console/monitors/monitor_texts.h"

namespace {

TEST(DumpComment, ManualDumpText) {
    wchar_t comment[1024];
    FormatManualComment(comment, 1024, L"varnhold.exe 42");
    EXPECT_STREQ(L"\n*** varnhold.exe 42\n*** Manual dump.\n", comment);
}

TEST(DumpComment, JitText) {
    wchar_t comment[1024];
    FormatJitComment(comment, 1024, L"v -j d 7 9 0", 7, 9, 0x1000);
    wchar_t expected[256];
    swprintf(expected, 256,
             L"\n*** v -j d 7 9 0\n*** Just-In-Time debugger. PID: 7 Event Handle: 9 JIT "
             L"Context: .jdinfo 0x%p.\n",
             reinterpret_cast<void*>(0x1000));
    EXPECT_STREQ(expected, comment);
}

TEST(DumpComment, LongCommandLineIsShortenedAndTheReasonKept) {
    const std::wstring commandLine(5000, L'x');
    wchar_t comment[1024 + 8];
    wmemset(comment, L'#', 1024 + 8);
    FormatCpuComment(comment, 1024, commandLine.c_str(), +1, 90, 10);
    const std::wstring text = comment;
    EXPECT_EQ(1023u, text.size());
    EXPECT_EQ(0, text.compare(0, 5, L"\n*** "));
    const std::wstring reason = L"\nCPU Threshold >= 90% for 10 seconds.\n";
    EXPECT_EQ(reason, text.substr(text.size() - reason.size()));
    for (size_t i = 1024; i < 1024 + 8; ++i) {
        EXPECT_EQ(L'#', comment[i]) << "written past the buffer at " << i;
    }
}

TEST(DumpComment, CommandLineThatJustFitsIsKeptWhole) {
    const std::wstring reason = L"\n*** Manual dump.\n";
    const std::wstring commandLine(1023 - 5 - reason.size(), L'y');
    wchar_t comment[1024];
    FormatManualComment(comment, 1024, commandLine.c_str());
    EXPECT_EQ(L"\n*** " + commandLine + reason, std::wstring(comment));
}

TEST(LogLine, CpuLineIsEmptyWhenTheStepPrintsNothing) {
    wchar_t line[kLogLineCapacity] = L"old";
    const CpuStep step = {true, 10, CpuLine::kNone, 0, false};
    FormatCpuLine(line, kLogLineCapacity, {1, 2, 3}, +1, step);
    EXPECT_STREQ(L"", line);
}

TEST(LogLine, WideValuesKeepTheirColumns) {
    wchar_t line[kLogLineCapacity];
    FormatCommitLine(line, kLogLineCapacity, {23, 59, 58}, 123456789);
    EXPECT_STREQ(L"[23:59:58] Memory:  123456789Mb\n", line);
    FormatCounterLine(line, kLogLineCapacity, {0, 0, 0}, -12345678901LL);
    EXPECT_STREQ(L"[00:00:00] Counter:   -12345678901    1s\n", line);
    const CpuStep step = {true, 400, CpuLine::kCount, 1234, true};
    FormatCpuLine(line, kLogLineCapacity, {7, 8, 9}, +1, step);
    EXPECT_STREQ(L"[07:08:09] CPU:           400% 1234s\n", line);
}

}  // namespace
