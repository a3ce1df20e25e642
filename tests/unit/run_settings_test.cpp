// The default dump path, the configuration summary, the dump type word and
// the fixed lines of the help texts.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "console/options/config_summary.h"
#include "console/options/default_dump_path.h"
#include "console/options/dump_type.h"
#include "console/options/usage_text.h"
#include "console/dumpfolder/series_files.h"

namespace {

SYSTEMTIME April3rd2013() {
    SYSTEMTIME time{};
    time.wYear = 2013;
    time.wMonth = 4;
    time.wDay = 3;
    time.wHour = 17;
    time.wMinute = 30;
    time.wSecond = 41;
    return time;
}

TEST(DefaultDumpPath, FolderOfNameIdentifierAndTime) {
    wchar_t path[kPathCapacity];
    ASSERT_TRUE(BuildDefaultDumpPath(path, L"C:\\Tools", L"notepad.exe", 4572, April3rd2013()));
    EXPECT_STREQ(L"C:\\Tools\\notepad_4572_20130403_173041\\notepad.dmp", path);
}

TEST(DefaultDumpPath, DirectoryWithTrailingBackslash) {
    wchar_t path[kPathCapacity];
    SYSTEMTIME early{};
    early.wYear = 2024;
    early.wMonth = 1;
    early.wDay = 2;
    early.wHour = 3;
    early.wMinute = 4;
    early.wSecond = 5;
    ASSERT_TRUE(BuildDefaultDumpPath(path, L"C:\\", L"a.exe", 7, early));
    EXPECT_STREQ(L"C:\\a_7_20240102_030405\\a.dmp", path);
}

TEST(DefaultDumpPath, NameWithSeveralDotsStillEndsInDmp) {
    wchar_t path[kPathCapacity];
    ASSERT_TRUE(BuildDefaultDumpPath(path, L"C:\\Tools", L"my.app.exe", 1, April3rd2013()));
    EXPECT_STREQ(L"C:\\Tools\\my.app_1_20130403_173041\\my.app.dmp", path);
}

TEST(DefaultDumpPath, RefusedWhenItDoesNotFit) {
    wchar_t path[kPathCapacity];
    // 200 + 1 + folder "n_4294967295_20130403_173041" (28) + 1 + "n.dmp" (5) = 235: fits.
    std::wstring directory = L"C:\\" + std::wstring(197, L'd');
    EXPECT_TRUE(
        BuildDefaultDumpPath(path, directory.c_str(), L"n.exe", 4294967295u, April3rd2013()));
    EXPECT_EQ(235u, wcslen(path));

    std::wstring longName = std::wstring(120, L'n') + L".exe";
    EXPECT_FALSE(BuildDefaultDumpPath(path, L"C:\\Tools", longName.c_str(), 1, April3rd2013()));
    EXPECT_STREQ(L"", path);

    std::wstring longDirectory = L"C:\\" + std::wstring(250, L'd');
    EXPECT_FALSE(BuildDefaultDumpPath(path, longDirectory.c_str(), L"a.exe", 1, April3rd2013()));
    EXPECT_STREQ(L"", path);
}

TEST(JitFolderDumpPath, ImageProcessAndTimeOfTheCrash) {
    struct Case {
        const wchar_t* folder;
        const wchar_t* image;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"C:\\dumps\\", L"app.exe", L"C:\\dumps\\app_4572_130403_173041.dmp"},
        {L"C:\\dumps", L"my.app.exe", L"C:\\dumps\\my.app_4572_130403_173041.dmp"},
        {L"C:\\", L"app", L"C:\\app_4572_130403_173041.dmp"},
        {L"C:\\dumps\\", L"", L"C:\\dumps\\process_4572_130403_173041.dmp"},
    };
    for (const Case& c : cases) {
        wchar_t path[kPathCapacity];
        ASSERT_TRUE(BuildJitFolderDumpPath(path, c.folder, c.image, 4572, April3rd2013()));
        EXPECT_STREQ(c.expected, path);
        // The naming -keep and -rate recognise is the one built here.
        EXPECT_TRUE(HasFolderDumpNaming(wcsrchr(path, L'\\') + 1)) << path;
    }
    wchar_t path[kPathCapacity];
    const std::wstring longFolder = L"C:\\" + std::wstring(240, L'd');
    EXPECT_FALSE(BuildJitFolderDumpPath(path, longFolder.c_str(), L"a.exe", 1, April3rd2013()));
    EXPECT_STREQ(L"", path);
    EXPECT_TRUE(EndsAsFolder(L"C:\\dumps\\"));
    EXPECT_FALSE(EndsAsFolder(L"C:\\dumps\\crash.dmp"));
    EXPECT_FALSE(EndsAsFolder(L""));
}

TEST(DefaultDumpPath, ProgramDirectoryHasNoFileName) {
    wchar_t directory[kPathCapacity];
    ASSERT_TRUE(ProgramDirectory(directory));
    EXPECT_GT(wcslen(directory), 0u);
    EXPECT_EQ(nullptr, wcsstr(directory, L".exe"));
}

MonitorConfig SummaryConfig() {
    MonitorConfig config{};
    config.dumpCount = 1;
    config.thresholdSeconds = 10;
    return config;
}

TEST(ConfigSummary, NothingEnabled) {
    MonitorConfig config = SummaryConfig();
    wchar_t dumpPath[] = L"C:\\Tools\\notepad_4572_20130403_173041\\notepad.dmp";
    config.dumpPath = dumpPath;
    EXPECT_EQ(
        L"Process:               notepad.exe (4572)\n"
        L"CPU threshold:         n/a\n"
        L"Threshold seconds:     n/a\n"
        L"Performance counter:   n/a\n"
        L"Commit threshold:      n/a\n"
        L"Number of dumps:       1\n"
        L"Hung window check:     Disabled\n"
        L"Exception monitor:     Disabled\n"
        L"Exception filter:      Disabled\n"
        L"Terminate monitor:     Disabled\n"
        L"Dump file:             C:\\Tools\\notepad_4572_20130403_173041\\notepad.dmp\n"
        L"\n",
        ConfigSummaryText(config, L"notepad.exe", 4572));
}

TEST(ConfigSummary, EveryTriggerShown) {
    MonitorConfig config = SummaryConfig();
    wchar_t dumpPath[] = L"c:\\d.dmp";
    config.dumpPath = dumpPath;
    config.cpuTrigger = kTriggerAtOrAbove;
    config.cpuThreshold = 20;
    config.thresholdSeconds = 5;
    config.counterTrigger = kTriggerAtOrBelow;
    config.counterThreshold = 9000000000LL;
    config.commitTrigger = kTriggerAtOrAbove;
    config.commitThresholdMB = 300;
    config.dumpCount = 3;
    config.hungWindow = 1;
    config.exceptionMonitor = 1;
    config.filterEnabled = 1;
    config.terminateMonitor = 1;
    EXPECT_EQ(
        L"Process:               consume.exe (12)\n"
        L"CPU threshold:         >= 20% of system\n"
        L"Threshold seconds:     5\n"
        L"Performance counter:   <= 9000000000\n"
        L"Commit threshold:      >= 300 MB\n"
        L"Number of dumps:       3\n"
        L"Hung window check:     Enabled\n"
        L"Exception monitor:     Enabled\n"
        L"Exception filter:      Enabled\n"
        L"Terminate monitor:     Enabled\n"
        L"Dump file:             c:\\d.dmp\n"
        L"\n",
        ConfigSummaryText(config, L"consume.exe", 12));
}

TEST(ConfigSummary, UploadShownWithoutItsKeyOnlyWhenGiven) {
    MonitorConfig config = SummaryConfig();
    wchar_t dumpPath[] = L"c:\\d.dmp";
    config.dumpPath = dumpPath;
    config.keepFiles = 3;
    EXPECT_EQ(std::wstring::npos, ConfigSummaryText(config, L"a.exe", 1).find(L"Upload"));
    const std::wstring url = L"https://user:pw@crash.example/api/" + std::wstring(600, L'p');
    const std::wstring withKey = url + L"?sentry_key=KEY";
    config.uploadUrl = withKey.c_str();
    EXPECT_NE(std::wstring::npos,
              ConfigSummaryText(config, L"a.exe", 1)
                  .find(L"Dump files kept:       3\n"
                        L"Upload:                https://crash.example/api/" +
                        std::wstring(600, L'p') + L"\nDump file:             c:\\d.dmp\n\n"));
}

TEST(ConfigSummary, BelowTriggersOnOneCore) {
    MonitorConfig config = SummaryConfig();
    wchar_t dumpPath[] = L"x.dmp";
    config.dumpPath = dumpPath;
    config.cpuTrigger = kTriggerAtOrBelow;
    config.cpuThreshold = 150;
    config.cpuSingleCore = 1;
    config.commitTrigger = kTriggerAtOrBelow;
    config.commitThresholdMB = 0;
    std::wstring text = ConfigSummaryText(config, L"\x4e2d.exe", 4294967295u);
    EXPECT_NE(std::wstring::npos, text.find(L"Process:               \x4e2d.exe (-1)\n"));
    EXPECT_NE(std::wstring::npos, text.find(L"CPU threshold:         <= 150% of single core\n"
                                            L"Threshold seconds:     10\n"));
    EXPECT_NE(std::wstring::npos, text.find(L"Commit threshold:      <= 0 MB\n"));
}

TEST(DumpType, ExtendedFlagsOnlyWithTheExport) {
    struct {
        uint32_t dumpType;
        bool exported;
        uint32_t expected;
    } cases[] = {
        {0x125, false, 0x125},
        {0x127, false, 0x127},
        {0x125, true, 0x41925},
        {0x127, true, 0x41927},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, AddDebugHelpFlags(c.dumpType, c.exported));
    }
}

TEST(DumpType, LoadedDebugHelpIsAsked) {
    // The program itself has dbghelp.dll loaded through its dump writer; this
    // test program may not, so it loads it. Wine's dbghelp.dll exports
    // EnumDirTreeW, as every recent Windows does.
    ASSERT_NE(nullptr, LoadLibraryW(L"dbghelp.dll"));
    EXPECT_TRUE(DebugHelpExportsEnumDirTree());
}

const wchar_t kSynopsis[] =
    L"usage: varnhold.exe [-64] [[-c|-cl CPU usage] [-u] [-s seconds]] [-n exceeds] [-e [-1 [-b] "
    L"[-f filter]] [-h] [-l] [-m|-ml commit usage] [-ma | -mp] [-o] [-p|-pl counter threshold] "
    L"[-r] [-t] [-d <callback DLL>] <[-w] <process name or PID> [dump file] | -i <dump file> | "
    L"-x <dump file> <image file> [arguments] >\n";
const wchar_t kDescription[] =
    L"Monitors a process and writes a dump file when the process exceeds the\n"
    L"specified criteria or has an exception.\n";

TEST(HelpTexts, UsageHasItsFixedLinesAndEveryOption) {
    std::wstring usage = UsageText();
    EXPECT_EQ(0u, usage.find(std::wstring(kDescription) + L"\n" + kSynopsis + L"\n   -64 "));
    const wchar_t* options[] = {L"-64", L"-b",  L"-c", L"-cl", L"-d",  L"-e",  L"-f", L"-h",
                                L"-i",  L"-l",  L"-m", L"-ml", L"-ma", L"-mp", L"-n", L"-o",
                                L"-p",  L"-pl", L"-r", L"-s",  L"-t",  L"-u",  L"-w", L"-x"};
    size_t last = 0;
    for (const wchar_t* option : options) {
        std::wstring paragraph = std::wstring(L"\n   ") + option;
        paragraph.append(8 - wcslen(option), L' ');
        size_t at = usage.find(paragraph);
        ASSERT_NE(std::wstring::npos, at) << option;
        EXPECT_GT(at, last) << option;
        last = at;
    }
    EXPECT_NE(std::wstring::npos, usage.find(L"\"\\Process(<name>_<pid>)\\counter\""));
    // The paragraphs of the later options follow the closing lines, which
    // stay as they were.
    const std::wstring closing =
        L"\n\nUse -? -e to see example command lines.\n\nIf you omit the dump file name, it "
        L"defaults to <processname>_<pid>_<datetime>.dmp.\n\n";
    const size_t closingAt = usage.find(closing);
    ASSERT_NE(std::wstring::npos, closingAt);
    EXPECT_GT(closingAt, last);
    last = closingAt;
    for (const wchar_t* option :
         {L"-a", L"-g", L"-q", L"-keep", L"-free", L"-meta", L"-log", L"-upload", L"-send"}) {
        std::wstring paragraph = std::wstring(L"\n   ") + option;
        paragraph.append(8 - wcslen(option), L' ');
        const size_t at = usage.find(paragraph);
        ASSERT_NE(std::wstring::npos, at) << option;
        EXPECT_GT(at, last) << option;
        last = at;
    }
    // The registration paragraph comes after the later options; only its
    // notes follow it.
    const size_t postmortem = usage.find(
        L"\n\nPostmortem debugger registration:\n   -i      Without a process name or PID, ");
    ASSERT_NE(std::wstring::npos, postmortem);
    EXPECT_GT(postmortem, last);
    EXPECT_GT(usage.find(L"\n   -iu     Undo the registration"), postmortem);
    EXPECT_GT(usage.find(L"\n\nRegistration notes:\n   -i      Carried into the registration: "),
              postmortem);
    EXPECT_EQ(usage.size() - 3, usage.rfind(L".\n\n"));
}

TEST(HelpTexts, UsageLinesFitTheConsole) {
    std::wstring usage = UsageText();
    size_t start = 0;
    while (start < usage.size()) {
        size_t end = usage.find(L'\n', start);
        std::wstring line = usage.substr(start, end - start);
        if (line != std::wstring(kSynopsis).substr(0, wcslen(kSynopsis) - 1) &&
            line.find(L"If you omit") != 0) {
            EXPECT_LE(line.size(), 79u) << std::string(line.begin(), line.end());
        }
        start = end + 1;
    }
}

TEST(HelpTexts, ExamplesWithoutUnpromisedPauses) {
    std::wstring examples = ExamplesText();
    EXPECT_EQ(0u, examples.find(std::wstring(kDescription) + L"\n" + kSynopsis + L"\nExamples:\n"));
    size_t descriptions = 0;
    size_t commands = 0;
    for (size_t at = examples.find(L"\n- "); at != std::wstring::npos;
         at = examples.find(L"\n- ", at + 1)) {
        ++descriptions;
    }
    for (size_t at = examples.find(L"\n     C:\\>varnhold "); at != std::wstring::npos;
         at = examples.find(L"\n     C:\\>varnhold ", at + 1)) {
        ++commands;
    }
    EXPECT_EQ(24u, descriptions);
    EXPECT_EQ(24u, commands);
    // Without -g a series is written back to back: none of the first
    // fourteen may promise a pause.
    const size_t fifteenth = examples.find(L"\n- Write 3 dumps of a hang");
    ASSERT_NE(std::wstring::npos, fifteenth);
    EXPECT_EQ(std::wstring::npos, examples.substr(0, fifteenth).find(L"apart"));
    EXPECT_NE(std::wstring::npos, examples.find(L"-ma -i "));
    EXPECT_NE(std::wstring::npos, examples.find(L"-n 3 -g 10 "));
}

}  // namespace
