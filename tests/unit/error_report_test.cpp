// Exception names and the "<caption>: <system text>" failure reports.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "console/report/error_report.h"

namespace {

TEST(ExceptionName, ExactCodesOnlyWithTheFallbackForTheRest) {
    EXPECT_STREQ(L"ACCESS_VIOLATION", ExceptionName(0xC0000005));
    EXPECT_STREQ(L"GUARD_PAGE", ExceptionName(0x80000001));
    EXPECT_STREQ(L"SINGLE_STEP", ExceptionName(0x80000004));
    // Both ends of the dense table and a gap inside it.
    EXPECT_STREQ(L"IN_PAGE_ERROR", ExceptionName(0xC0000006));
    EXPECT_STREQ(L"STACK_OVERFLOW", ExceptionName(0xC00000FD));
    EXPECT_STREQ(L"INVALID_HANDLE", ExceptionName(0xC0000008));
    EXPECT_STREQ(L"UNKNOWN EXCEPTION", ExceptionName(0xC0000007));
    EXPECT_STREQ(L"UNKNOWN EXCEPTION", ExceptionName(0xC00000FE));
    EXPECT_STREQ(L"UNKNOWN EXCEPTION", ExceptionName(0x80000005));
    EXPECT_STREQ(L"UNKNOWN EXCEPTION", ExceptionName(0xE06D7363));
    // No masking of bits: the informational twin of a code is not that code.
    EXPECT_STREQ(L"UNKNOWN EXCEPTION", ExceptionName(0x40000005));
}

// What the reports print on standard output, caught through a file.
template <typename Report>
std::string CaptureOutput(Report report) {
    wchar_t directory[MAX_PATH];
    wchar_t path[MAX_PATH];
    EXPECT_NE(0u, GetTempPathW(MAX_PATH, directory));
    EXPECT_NE(0u, GetTempFileNameW(directory, L"rep", 0, path));
    fflush(stdout);
    const int saved = _dup(_fileno(stdout));
    const int file = _wopen(path, _O_WRONLY | _O_TRUNC | _O_TEXT);
    _dup2(file, _fileno(stdout));
    _close(file);
    report();
    fflush(stdout);
    _dup2(saved, _fileno(stdout));
    _close(saved);

    std::string text;
    if (FILE* read = _wfopen(path, L"rb")) {
        char buffer[512];
        size_t got;
        while ((got = fread(buffer, 1, sizeof buffer, read)) > 0) {
            text.append(buffer, got);
        }
        fclose(read);
    }
    DeleteFileW(path);
    // Text mode turns each line feed into CR LF; the system text has its own.
    std::string plain;
    for (char c : text) {
        if (c != '\r') {
            plain += c;
        }
    }
    return plain;
}

TEST(FailureReport, CaptionColonAndTheSystemText) {
    const std::string out = CaptureOutput([] { ReportWin32Error(L"Failed to open process", 5); });
    EXPECT_EQ(0u, out.find("Failed to open process: ")) << out;
    EXPECT_GT(out.size(), std::string("Failed to open process: \n").size()) << out;
    // The system text ends with its own line break, then the report's.
    EXPECT_EQ("\n\n", out.substr(out.size() - 2)) << out;
}

TEST(FailureReport, NativeStatusIsReportedWithItsWin32Text) {
    // STATUS_ACCESS_DENIED converts to error 5.
    const std::string native =
        CaptureOutput([] { ReportNtStatus(L"Failed", static_cast<int32_t>(0xC0000022)); });
    const std::string win32 = CaptureOutput([] { ReportWin32Error(L"Failed", 5); });
    EXPECT_EQ(win32, native);
}

TEST(FailureReport, CodeWithoutTextNamesTheCode) {
    const std::string out = CaptureOutput([] { ReportWin32Error(L"Failed", 0x2000FFFF); });
    EXPECT_EQ("Failed: error 0x2000FFFF (no message text available)\n", out);
}

}  // namespace
