// The "Debugger" value registered with -i.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include <shellapi.h>

#include "console/postmortem/registered_line.h"

namespace {

struct CommandCase {
    const char* name;
    RegisteredContent content;
    DWORD major;
    const wchar_t* expected;
};

RegisteredLine Registration(RegisteredContent content, const wchar_t* library,
                            const wchar_t* dumpPath, DWORD major) {
    RegisteredLine line;
    line.programPath = L"C:\\Tools\\varnhold.exe";
    line.content = content;
    line.libraryPath = library;
    line.dumpPath = dumpPath;
    line.debugInfoAddress = major >= 6;
    return line;
}

class DebuggerCommandLine : public ::testing::TestWithParam<CommandCase> {};

TEST_P(DebuggerCommandLine, CarriesOneContentOptionAndTheQuotedPaths) {
    const CommandCase& c = GetParam();
    const RegisteredLine choice =
        Registration(c.content, L"C:\\my libs\\cb.dll", L"c:\\dumps", c.major);
    wchar_t line[kDebuggerCommandCapacity];
    ASSERT_TRUE(BuildDebuggerCommandLine(choice, line));
    EXPECT_STREQ(c.expected, line);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, DebuggerCommandLine,
    ::testing::Values(
        CommandCase{"FullMemory", RegisteredContent::kFullMemory, 6,
                    L"\"C:\\Tools\\varnhold.exe\" -ma -j \"c:\\dumps\" %ld %ld %p"},
        CommandCase{"FullMemoryTen", RegisteredContent::kFullMemory, 10,
                    L"\"C:\\Tools\\varnhold.exe\" -ma -j \"c:\\dumps\" %ld %ld %p"},
        CommandCase{"MiniPlus", RegisteredContent::kMiniPlus, 6,
                    L"\"C:\\Tools\\varnhold.exe\" -mp -j \"c:\\dumps\" %ld %ld %p"},
        CommandCase{"LibraryQuoted", RegisteredContent::kUserLibrary, 6,
                    L"\"C:\\Tools\\varnhold.exe\" -d \"C:\\my libs\\cb.dll\" -j \"c:\\dumps\" "
                    L"%ld %ld %p"},
        CommandCase{"Plain", RegisteredContent::kDefault, 6,
                    L"\"C:\\Tools\\varnhold.exe\" -j \"c:\\dumps\" %ld %ld %p"},
        CommandCase{"BeforeVistaNoInfoAddress", RegisteredContent::kDefault, 5,
                    L"\"C:\\Tools\\varnhold.exe\" -j \"c:\\dumps\" %ld %ld 0"}),
    [](const ::testing::TestParamInfo<CommandCase>& info) { return info.param.name; });

TEST(DebuggerCommandLine, BoundsFollowTheContentOptionAndAFolderKeepsItsQuote) {
    RegisteredLine choice = Registration(RegisteredContent::kFullMemory, L"", L"c:\\dumps\\", 6);
    choice.keepFiles = 10;
    choice.freeMB = 2048;
    choice.metadata = true;
    wchar_t line[kDebuggerCommandCapacity];
    ASSERT_TRUE(BuildDebuggerCommandLine(choice, line));
    // The folder's backslash is doubled: "\\"" closes the quote, "\"" would not.
    EXPECT_STREQ(
        L"\"C:\\Tools\\varnhold.exe\" -ma -keep 10 -free 2048 -meta -j \"c:\\dumps\\\\\" "
        L"%ld %ld %p",
        line);
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(line, &count);
    ASSERT_NE(nullptr, argv);
    ASSERT_EQ(12, count);
    EXPECT_STREQ(L"c:\\dumps\\", argv[8]);
    EXPECT_STREQ(L"%ld", argv[9]);
    LocalFree(argv);
}

TEST(DebuggerCommandLine, UploadUrlIsQuotedWithItsPercentSignsDoubled) {
    RegisteredLine choice = Registration(RegisteredContent::kDefault, L"", L"c:\\d.dmp", 6);
    choice.logPath = L"c:\\e.log";
    choice.uploadUrl = L"http://h/p?key=a%20b&x=1";
    wchar_t line[kDebuggerCommandCapacity];
    ASSERT_TRUE(BuildDebuggerCommandLine(choice, line));
    EXPECT_STREQ(
        L"\"C:\\Tools\\varnhold.exe\" -log \"c:\\e.log\" -upload \"http://h/p?key=a%%20b&x=1\" "
        L"-j \"c:\\d.dmp\" %ld %ld %p",
        line);
}

TEST(DebuggerCommandLine, ALineThatWouldNotFitIsRefusedWhole) {
    std::wstring longLibrary(2000, L'x');
    const RegisteredLine choice =
        Registration(RegisteredContent::kUserLibrary, longLibrary.c_str(), L"c:\\dumps", 6);
    wchar_t line[kDebuggerCommandCapacity];
    EXPECT_FALSE(BuildDebuggerCommandLine(choice, line));
    EXPECT_STREQ(L"", line);
}

TEST(DebuggerCommandLine, ALineThatJustFitsIsKept) {
    // Everything but the library path takes 54 characters.
    std::wstring library(kDebuggerCommandCapacity - 1 - 54, L'y');
    const RegisteredLine choice =
        Registration(RegisteredContent::kUserLibrary, library.c_str(), L"c:\\dumps", 6);
    wchar_t line[kDebuggerCommandCapacity];
    ASSERT_TRUE(BuildDebuggerCommandLine(choice, line));
    EXPECT_EQ(kDebuggerCommandCapacity - 1, wcslen(line));
}

}  // namespace
