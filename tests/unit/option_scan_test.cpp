// The command-line scan over argument vectors, without a target.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "console/handover/x64_handover.h"
#include "scan_test_support.h"

namespace {

using scan_test::Arguments;

struct Scanned {
    explicit Scanned(std::vector<std::wstring> values, const ScanEnvironment& environment)
        : arguments(std::move(values)) {
        outcome = ScanArguments(arguments.count(), arguments.vector(), environment, options);
    }
    Arguments arguments;
    ScannedOptions options;
    ScanOutcome outcome;
};

std::unique_ptr<Scanned> Scan(std::vector<std::wstring> values,
                              const ScanEnvironment& environment = scan_test::kModernSystem) {
    return std::make_unique<Scanned>(std::move(values), environment);
}

const wchar_t kFilterMessage[] = L"Filtering requires 1st chance exception monitoring (-e -1).\n";
const wchar_t kReflectMessage[] = L"-r  can only be used in Windows 7 and higher\n";
const wchar_t kDumpPathTooLong[] = L"The dump file path is too long (at most 259 characters).\n";
const wchar_t kArgumentsTooLong[] =
    L"The argument string of the process to launch is too long (at most 1023 characters).\n";
const wchar_t kNameTooLong[] = L"The process name is too long (at most 259 characters).\n";
const wchar_t kImageTooLong[] =
    L"The image file path of the process to launch is too long (at most 259 characters).\n";

struct OutcomeCase {
    const char* what;
    std::vector<std::wstring> arguments;
    ScanStatus status;
    int exitCode;
    const wchar_t* message;  // null: no message of the scan's own
};

void ExpectOutcomes(const std::vector<OutcomeCase>& cases,
                    const ScanEnvironment& environment = scan_test::kModernSystem) {
    for (const OutcomeCase& c : cases) {
        SCOPED_TRACE(c.what);
        auto scanned = Scan(c.arguments, environment);
        EXPECT_EQ(c.status, scanned->outcome.status);
        EXPECT_EQ(c.exitCode, scanned->outcome.exitCode);
        if (c.message == nullptr) {
            EXPECT_EQ(nullptr, scanned->outcome.message);
        } else {
            ASSERT_NE(nullptr, scanned->outcome.message);
            EXPECT_STREQ(c.message, scanned->outcome.message);
        }
    }
}

constexpr ScanStatus kRun = ScanStatus::Run;
constexpr ScanStatus kUsage = ScanStatus::ShowUsage;
constexpr ScanStatus kExamples = ScanStatus::ShowExamples;
constexpr ScanStatus kUsageError = ScanStatus::UsageError;
constexpr ScanStatus kRefused = ScanStatus::Refused;

TEST(ScanHelp, ShowsUsageOrExamples) {
    ExpectOutcomes({
        {"no arguments", {}, kUsage, 1, nullptr},
        {"-? alone", {L"-?"}, kUsage, 0, nullptr},
        {"/? alone", {L"/?"}, kUsage, 0, nullptr},
        {"-? then -e", {L"-?", L"-e"}, kExamples, 0, nullptr},
        {"/? then /e", {L"/?", L"/e"}, kExamples, 0, nullptr},
        {"-? then /e", {L"-?", L"/e"}, kExamples, 0, nullptr},
        {"-? then -E", {L"-?", L"-E"}, kUsage, 0, nullptr},
        {"-? then something else", {L"-?", L"notepad.exe", L"-e"}, kUsage, 0, nullptr},
        {"-? ends the scan before a later error", {L"-?", L"-c", L"20x"}, kUsage, 0, nullptr},
        {"an earlier error wins over -?", {L"-c", L"20x", L"-?"}, kUsageError, 1, nullptr},
    });
}

TEST(ScanMatching, OptionsAreWholeAndCaseSensitive) {
    ExpectOutcomes({
        {"dash form", {L"-c", L"20", L"1"}, kRun, 0, nullptr},
        {"slash form", {L"/c", L"20", L"1"}, kRun, 0, nullptr},
        {"-c20 is a name target", {L"-c20"}, kRun, 0, nullptr},
        {"--c is a name target", {L"--c"}, kRun, 0, nullptr},
        {"-MA is a name target", {L"-MA"}, kRun, 0, nullptr},
        {"unknown -z is a name target", {L"-z"}, kRun, 0, nullptr},
    });
    auto upper = Scan({L"-C", L"10", L"notepad.exe"});
    EXPECT_EQ(kRun, upper->outcome.status);
    EXPECT_TRUE(upper->options.targetByName);
    EXPECT_STREQ(L"-C", upper->options.targetName);
    EXPECT_STREQ(L"10", upper->options.dumpPath);
    EXPECT_EQ(kTriggerOff, upper->options.settings.cpuTrigger);

    auto upperMa = Scan({L"1234", L"-MA"});
    EXPECT_EQ(kDefaultDumpType, upperMa->options.settings.dumpType);
    EXPECT_FALSE(upperMa->options.fullMemory);
}

TEST(ScanNumbers, MustBeConsumedWhole) {
    ExpectOutcomes({
        {"-c 20x", {L"-c", L"20x", L"1"}, kUsageError, 1, nullptr},
        {"-c without value", {L"-c"}, kUsageError, 1, nullptr},
        {"-s 1.5", {L"-s", L"1.5", L"1"}, kUsageError, 1, nullptr},
        {"-n trailing blank", {L"-n", L"3 ", L"1"}, kUsageError, 1, nullptr},
        {"-m hex", {L"-m", L"0x10", L"1"}, kUsageError, 1, nullptr},
        {"-ml word", {L"-ml", L"ten", L"1"}, kUsageError, 1, nullptr},
        {"-cl without value", {L"1", L"-cl"}, kUsageError, 1, nullptr},
    });
}

TEST(ScanNumbers, EmptyReadsAsZero) {
    auto scanned = Scan({L"-n", L"", L"1234"});
    EXPECT_EQ(kRun, scanned->outcome.status);
    EXPECT_EQ(0u, scanned->options.settings.dumpCount);
    EXPECT_EQ(1234u, scanned->options.targetId);
}

TEST(ScanNumbers, ValueStartingWithDashIsStillAValue) {
    // The value is consumed whatever it looks like: -1 is read as the number
    // of seconds (and refused as negative), not taken for the -1 option.
    auto scanned = Scan({L"-s", L"-1", L"-e", L"1234"});
    EXPECT_EQ(kUsageError, scanned->outcome.status);
    EXPECT_EQ(0u, scanned->options.settings.exceptionMonitor);

    auto filter = Scan({L"-e", L"-1", L"-f", L"-ma", L"1234"});
    EXPECT_EQ(kRun, filter->outcome.status);
    EXPECT_STREQ(L"-ma", filter->options.settings.filter);
    EXPECT_FALSE(filter->options.fullMemory);
}

TEST(ScanNumbers, NumbersThatDoNotFitAreRefused) {
    // The runtime would negate a signed number in unsigned arithmetic and
    // saturate an overflowing one; neither is the number typed.
    ExpectOutcomes({
        {"-n -1", {L"-n", L"-1", L"1"}, kUsageError, 1, nullptr},
        {"-c -5", {L"-c", L"-5", L"1"}, kUsageError, 1, nullptr},
        {"-s -0", {L"-s", L"-0", L"1"}, kUsageError, 1, nullptr},
        {"-m blank minus", {L"-m", L" -3", L"1"}, kUsageError, 1, nullptr},
        {"-ml 2^32", {L"-ml", L"4294967296", L"1"}, kUsageError, 1, nullptr},
        {"-n 20 digits", {L"-n", L"99999999999999999999", L"1"}, kUsageError, 1, nullptr},
        {"-p 2^64",
         {L"-p", L"\\Process(a)\\Handle Count", L"18446744073709551616", L"1"},
         kUsageError,
         1,
         nullptr},
        {"-p -1", {L"-p", L"\\Process(a)\\Handle Count", L"-1", L"1"}, kUsageError, 1, nullptr},
        {"-m 2^32-1", {L"-m", L"4294967295", L"1"}, kRun, 0, nullptr},
        {"-c +5", {L"-c", L"+5", L"1"}, kRun, 0, nullptr},
        {"-c blank 5", {L"-c", L" 5", L"1"}, kRun, 0, nullptr},
        {"-p 2^64-1",
         {L"-p", L"\\Process(a)\\Handle Count", L"18446744073709551615", L"1"},
         kRun,
         0,
         nullptr},
    });
    EXPECT_EQ(4294967295u, Scan({L"-m", L"4294967295", L"1"})->options.settings.commitThresholdMB);
    EXPECT_EQ(5u, Scan({L"-c", L"+5", L"1"})->options.settings.cpuThreshold);
}

TEST(ScanNumbers, TargetIdentifierThatDoesNotFitIsAName) {
    auto negative = Scan({L"-7"});
    EXPECT_EQ(kRun, negative->outcome.status);
    EXPECT_TRUE(negative->options.targetByName);
    EXPECT_STREQ(L"-7", negative->options.targetName);
    auto huge = Scan({L"99999999999"});
    EXPECT_TRUE(huge->options.targetByName);
    EXPECT_EQ(0u, huge->options.targetId);
}

TEST(ScanTriggers, LastOfAPairWins) {
    auto cpu = Scan({L"-c", L"20", L"-cl", L"5", L"1"});
    EXPECT_EQ(kTriggerAtOrBelow, cpu->options.settings.cpuTrigger);
    EXPECT_EQ(5u, cpu->options.settings.cpuThreshold);

    auto commit = Scan({L"-ml", L"100", L"-m", L"300", L"1"});
    EXPECT_EQ(kTriggerAtOrAbove, commit->options.settings.commitTrigger);
    EXPECT_EQ(300u, commit->options.settings.commitThresholdMB);

    auto counter = Scan({L"-p", L"\\Process(a)\\Handle Count", L"10", L"-pl",
                         L"\\Processor(_Total)\\% Processor Time", L"3", L"1"});
    EXPECT_EQ(kTriggerAtOrBelow, counter->options.settings.counterTrigger);
    EXPECT_EQ(3, counter->options.settings.counterThreshold);
    EXPECT_STREQ(L"\\Processor(_Total)\\% Processor Time", counter->options.settings.counterPath);
}

TEST(ScanTriggers, SetTheirFields) {
    auto scanned = Scan({L"-c", L"20", L"-u", L"-s", L"5", L"-n", L"3", L"-h", L"-o", L"-mp", L"-t",
                         L"-l", L"-w", L"-64", L"consume.exe"});
    ASSERT_EQ(kRun, scanned->outcome.status);
    const MonitorConfig& s = scanned->options.settings;
    EXPECT_EQ(kTriggerAtOrAbove, s.cpuTrigger);
    EXPECT_EQ(20u, s.cpuThreshold);
    EXPECT_EQ(1u, s.cpuSingleCore);
    EXPECT_EQ(5u, s.thresholdSeconds);
    EXPECT_EQ(3u, s.dumpCount);
    EXPECT_EQ(1u, s.hungWindow);
    EXPECT_EQ(1u, s.overwrite);
    EXPECT_EQ(1u, s.miniPlus);
    EXPECT_EQ(kDefaultDumpType, s.dumpType);
    EXPECT_EQ(1u, s.terminateMonitor);
    EXPECT_EQ(1u, s.debugStrings);
    EXPECT_EQ(1u, s.debugThread);
    EXPECT_EQ(0u, s.exceptionMonitor);
    EXPECT_TRUE(scanned->options.wait);
    EXPECT_TRUE(scanned->options.force64);
    EXPECT_STREQ(L"consume.exe", scanned->options.targetName);
}

TEST(ScanTriggers, DefaultsWithoutOptions) {
    auto scanned = Scan({L"notepad.exe"});
    const MonitorConfig& s = scanned->options.settings;
    EXPECT_EQ(kDefaultDumpCount, s.dumpCount);
    EXPECT_EQ(kDefaultDumpType, s.dumpType);
    EXPECT_EQ(kDefaultThresholdSeconds, s.thresholdSeconds);
    EXPECT_EQ(0u, s.debugThread);
    EXPECT_EQ(nullptr, s.filter);
    EXPECT_EQ(nullptr, s.counterPath);
    EXPECT_STREQ(L"", scanned->options.dumpPath);
}

TEST(ScanLongWatch, OptionsSetTheirFieldsInBothForms) {
    auto scanned = Scan({L"-a", L"3", L"/g", L"10", L"-q", L"60", L"/keep", L"2", L"-free", L"2048",
                         L"/rate", L"6", L"1234"});
    ASSERT_EQ(kRun, scanned->outcome.status);
    const MonitorConfig& s = scanned->options.settings;
    EXPECT_EQ(1u, s.rearm);
    EXPECT_EQ(3u, s.seriesLimit);
    EXPECT_EQ(10u, s.gapSeconds);
    EXPECT_EQ(60u, s.quietSeconds);
    EXPECT_EQ(2u, s.keepFiles);
    EXPECT_EQ(2048u, s.freeMB);
    EXPECT_EQ(6u, s.ratePerHour);
    auto unlimited = Scan({L"-a", L"0", L"1234"});
    EXPECT_EQ(1u, unlimited->options.settings.rearm);
    EXPECT_EQ(0u, unlimited->options.settings.seriesLimit);
    auto none = Scan({L"1234"});
    EXPECT_EQ(0u, none->options.settings.rearm);
    EXPECT_EQ(0u, none->options.settings.keepFiles);
}

TEST(ScanLongWatch, BadValuesAreRefused) {
    ExpectOutcomes({
        {"-a without number", {L"1234", L"-a"}, kUsageError, 1, nullptr},
        {"-g negative", {L"-g", L"-1", L"1"}, kUsageError, 1, nullptr},
        {"-free too large", {L"-free", L"4294967296", L"1"}, kUsageError, 1, nullptr},
        {"-keep 0",
         {L"-keep", L"0", L"1"},
         ScanStatus::Refused,
         1,
         L"-keep needs a number of files of at least 1.\n"},
        {"-rate 0",
         {L"-rate", L"0", L"1"},
         ScanStatus::Refused,
         1,
         L"-rate needs a number of dumps of at least 1.\n"},
        {"-Keep is a name", {L"-Keep"}, kRun, 0, nullptr},
        {"-kee is a name", {L"-kee"}, kRun, 0, nullptr},
    });
}

TEST(ScanUpload, UrlIsCheckedAndSendNeedsIt) {
    auto scanned = Scan({L"/send", L"C:\\dumps", L"-upload", L"https://h/p?key=K"});
    ASSERT_EQ(kRun, scanned->outcome.status);
    EXPECT_STREQ(L"https://h/p?key=K", scanned->options.settings.uploadUrl);
    EXPECT_STREQ(L"C:\\dumps", scanned->options.sendPath);
    const std::wstring path260(260, L'd');
    ExpectOutcomes({
        {"-upload without value", {L"1", L"-upload"}, kUsageError, 1, nullptr},
        {"not http",
         {L"-upload", L"ftp://h/?key=K", L"1"},
         kRefused,
         1,
         L"The URL given to -upload is not an http:// or https:// URL.\n"},
        {"no host",
         {L"-upload", L"http:///p", L"1"},
         kRefused,
         1,
         L"The URL given to -upload names no host.\n"},
        {"-send without -upload",
         {L"-send", L"C:\\dumps"},
         kRefused,
         1,
         L"-send needs -upload and the URL of the crash server.\n"},
        {"-send path of 260",
         {L"-upload", L"http://h/", L"-send", path260},
         kRefused,
         1,
         L"The path given to -send is too long (at most 259 characters).\n"},
        {"-Upload is a name", {L"-Upload", L"x"}, kRun, 0, nullptr},
    });
}

TEST(ScanEveryInstance, NeedsAWaitedNameAndNoCounter) {
    auto scanned = Scan({L"/all", L"-e", L"-w", L"app.exe", L"C:\\d.dmp"});
    ASSERT_EQ(kRun, scanned->outcome.status);
    EXPECT_EQ(1u, scanned->options.settings.allInstances);
    EXPECT_STREQ(L"C:\\d.dmp", scanned->options.dumpPath);
    const wchar_t kNeedsAName[] =
        L"-all needs -w and the image name of the processes to watch (for example -w app.exe).\n";
    const wchar_t kNoCounter[] =
        L"-all cannot be used with -p or -pl: a performance counter is one value for the whole "
        L"system, not one for each process.\n";
    ExpectOutcomes({
        {"without -w", {L"-all", L"app.exe"}, kRefused, 1, kNeedsAName},
        {"with an identifier", {L"-w", L"-all", L"1234"}, kRefused, 1, kNeedsAName},
        {"with a launch",
         {L"-all", L"-w", L"-x", L"C:\\d.dmp", L"C:\\app.exe"},
         kRefused,
         1,
         kNeedsAName},
        {"with a just-in-time start",
         {L"-all", L"-w", L"a.exe", L"-j", L"d.dmp", L"12", L"4"},
         kRefused,
         1,
         kNeedsAName},
        {"with -p",
         {L"-all", L"-w", L"app.exe", L"-p", L"\\Processor(_Total)\\% Processor Time", L"9"},
         kRefused,
         1,
         kNoCounter},
        {"with -pl before it",
         {L"-pl", L"\\Process(app)\\Handle Count", L"9", L"-w", L"app.exe", L"-all"},
         kRefused,
         1,
         kNoCounter},
        {"-ALL is a name", {L"-ALL"}, kRun, 0, nullptr},
    });
}

TEST(ScanUpload, OnlyAPostmortemStartThatUploadsPassesItsHandlesOnAtAHandOver) {
    EXPECT_TRUE(HandOverPassesHandles(
        Scan({L"-upload", L"http://h/", L"-j", L"c:\\d.dmp", L"12", L"340"})->options));
    EXPECT_FALSE(HandOverPassesHandles(Scan({L"-j", L"c:\\d.dmp", L"12", L"340"})->options));
    EXPECT_FALSE(HandOverPassesHandles(Scan({L"-upload", L"http://h/", L"12"})->options));
}

TEST(ScanTriggers, FullMemoryAddsItsFlag) {
    auto scanned = Scan({L"-ma", L"1"});
    EXPECT_EQ(0x127u, scanned->options.settings.dumpType);
    EXPECT_TRUE(scanned->options.fullMemory);
}

TEST(ScanExceptions, OrderOfFirstChanceBreakpointsAndFilter) {
    ExpectOutcomes({
        {"-1 before -e", {L"-1", L"-e", L"1"}, kUsageError, 1, nullptr},
        {"-b before -e", {L"-b", L"-e", L"1"}, kUsageError, 1, nullptr},
        {"-1 without -e", {L"1", L"-1"}, kUsageError, 1, nullptr},
        {"-e -1 -b", {L"-e", L"-1", L"-b", L"1"}, kRun, 0, nullptr},
        {"-e -b", {L"-e", L"-b", L"1"}, kRun, 0, nullptr},
        {"-f without -e", {L"-f", L"x", L"1"}, kRefused, 1, kFilterMessage},
        {"-f after -e only", {L"-e", L"-f", L"access", L"1"}, kRefused, 1, kFilterMessage},
        {"-f after -1 but -1 refused first", {L"-1", L"-f", L"x"}, kUsageError, 1, nullptr},
        {"-f message before the value check", {L"-e", L"-f"}, kRefused, 1, kFilterMessage},
        {"-e -1 -f without value", {L"-e", L"-1", L"-f"}, kUsageError, 1, nullptr},
        {"-f message even with an unknown target",
         {L"-e", L"-f", L"", L"no such.exe"},
         kRefused,
         1,
         kFilterMessage},
    });
}

TEST(ScanExceptions, EmptyFilterEnablesFiltering) {
    auto scanned = Scan({L"-e", L"-1", L"-f", L"", L"4572"});
    ASSERT_EQ(kRun, scanned->outcome.status);
    const MonitorConfig& s = scanned->options.settings;
    EXPECT_EQ(1u, s.exceptionMonitor);
    EXPECT_EQ(1u, s.firstChance);
    EXPECT_EQ(1u, s.filterEnabled);
    EXPECT_STREQ(L"", s.filter);
    EXPECT_EQ(1u, s.debugThread);
    EXPECT_EQ(4572u, scanned->options.targetId);
    // The filter points at the argument itself.
    EXPECT_EQ(scanned->arguments.at(4), s.filter);
}

TEST(ScanCounter, PathMustBeUnderProcessOrProcessor) {
    ExpectOutcomes({
        {"memory object",
         {L"-p", L"\\Memory\\Committed Bytes", L"10", L"1"},
         kUsageError,
         1,
         nullptr},
        {"exactly \\Process", {L"-p", L"\\Process", L"10", L"1"}, kUsageError, 1, nullptr},
        {"no backslash",
         {L"-p", L"Process(a)\\Handle Count", L"10", L"1"},
         kUsageError,
         1,
         nullptr},
        {"processor in any case",
         {L"-p", L"\\pROCESSOR(_Total)\\% Processor Time", L"10", L"1"},
         kRun,
         0,
         nullptr},
        {"process instance",
         {L"-pl", L"\\Process(a_12)\\Handle Count", L"10", L"1"},
         kRun,
         0,
         nullptr},
        {"threshold not a number",
         {L"-p", L"\\Process(a)\\x", L"1e3", L"1"},
         kUsageError,
         1,
         nullptr},
        {"threshold missing", {L"-p", L"\\Process(a)\\x"}, kUsageError, 1, nullptr},
        {"both missing", {L"-pl"}, kUsageError, 1, nullptr},
    });
}

TEST(ScanCounter, ThresholdIsSixtyFourBits) {
    auto scanned = Scan({L"-p", L"\\Process(a)\\IO Data Bytes/sec", L"9000000000", L"1"});
    ASSERT_EQ(kRun, scanned->outcome.status);
    EXPECT_EQ(9000000000LL, scanned->options.settings.counterThreshold);
    EXPECT_EQ(kTriggerAtOrAbove, scanned->options.settings.counterTrigger);
    EXPECT_EQ(scanned->arguments.at(2), scanned->options.settings.counterPath);

    auto empty = Scan({L"-p", L"\\Process(a)\\x", L"", L"1"});
    EXPECT_EQ(kRun, empty->outcome.status);
    EXPECT_EQ(0, empty->options.settings.counterThreshold);
}

TEST(ScanPositional, TargetAndDumpFile) {
    auto name = Scan({L"notepad.exe", L"out.dmp"});
    EXPECT_TRUE(name->options.targetByName);
    EXPECT_STREQ(L"notepad.exe", name->options.targetName);
    EXPECT_STREQ(L"out.dmp", name->options.dumpPath);

    auto id = Scan({L"4572", L"c:\\dumps\\a.dmp"});
    EXPECT_FALSE(id->options.targetByName);
    EXPECT_EQ(nullptr, id->options.targetName);
    EXPECT_EQ(4572u, id->options.targetId);
    EXPECT_STREQ(L"c:\\dumps\\a.dmp", id->options.dumpPath);

    // out.dmp does not follow the target directly: ignored.
    auto apart = Scan({L"notepad.exe", L"-ma", L"out.dmp"});
    EXPECT_EQ(kRun, apart->outcome.status);
    EXPECT_STREQ(L"notepad.exe", apart->options.targetName);
    EXPECT_STREQ(L"", apart->options.dumpPath);

    // A following argument that looks like an option is not a dump file.
    auto slash = Scan({L"notepad.exe", L"/o"});
    EXPECT_STREQ(L"", slash->options.dumpPath);
    EXPECT_EQ(1u, slash->options.settings.overwrite);

    // An ignored positional still takes a dump file behind it.
    auto behindIgnored = Scan({L"1", L"-o", L"2", L"late.dmp"});
    EXPECT_EQ(1u, behindIgnored->options.targetId);
    EXPECT_STREQ(L"late.dmp", behindIgnored->options.dumpPath);

    // A dump file set earlier is kept; the candidate is then ignored.
    auto kept = Scan({L"-i", L"first.dmp", L"notepad.exe", L"second.dmp"});
    EXPECT_STREQ(L"first.dmp", kept->options.dumpPath);
    EXPECT_STREQ(L"notepad.exe", kept->options.targetName);
}

TEST(ScanPositional, IdentifierZeroDesignatesNoTarget) {
    auto scanned = Scan({L"0", L"-o", L"notepad.exe"});
    EXPECT_TRUE(scanned->options.targetByName);
    EXPECT_STREQ(L"notepad.exe", scanned->options.targetName);

    auto empty = Scan({L"", L"-o", L"4572"});
    EXPECT_EQ(4572u, empty->options.targetId);
}

TEST(ScanPositional, NoTargetAtAll) {
    auto scanned = Scan({L"-ma", L"-o"});
    EXPECT_EQ(kRun, scanned->outcome.status);
    EXPECT_EQ(nullptr, scanned->options.targetName);
    EXPECT_EQ(0u, scanned->options.targetId);
}

TEST(ScanLaunch, ArgumentStringSwallowsWhatFollows) {
    auto scanned = Scan({L"-x", L"c:\\d\\app.dmp", L"app.exe", L"-ma", L"-o"});
    ASSERT_EQ(kRun, scanned->outcome.status);
    EXPECT_TRUE(scanned->options.launch);
    EXPECT_STREQ(L"c:\\d\\app.dmp", scanned->options.dumpPath);
    EXPECT_STREQ(L"app.exe", scanned->options.launchImage);
    EXPECT_STREQ(L"app.exe", scanned->options.targetName);
    EXPECT_STREQ(L"-ma", scanned->options.launchArguments);
    EXPECT_FALSE(scanned->options.fullMemory);
    EXPECT_EQ(kDefaultDumpType, scanned->options.settings.dumpType);
    // Scanning goes on after the argument string.
    EXPECT_EQ(1u, scanned->options.settings.overwrite);
}

TEST(ScanLaunch, ReplacesTheTargetAndTheDumpFile) {
    auto scanned = Scan({L"4572", L"old.dmp", L"-x", L"new.dmp", L"app.exe"});
    ASSERT_EQ(kRun, scanned->outcome.status);
    EXPECT_EQ(0u, scanned->options.targetId);
    EXPECT_STREQ(L"app.exe", scanned->options.targetName);
    EXPECT_STREQ(L"new.dmp", scanned->options.dumpPath);
    EXPECT_STREQ(L"", scanned->options.launchArguments);

    auto second = Scan({L"-x", L"a.dmp", L"a.exe", L"args of a", L"-x", L"b.dmp", L"b.exe"});
    EXPECT_STREQ(L"b.exe", second->options.launchImage);
    EXPECT_STREQ(L"", second->options.launchArguments);
}

TEST(ScanLaunch, NeedsDumpFileAndImage) {
    ExpectOutcomes({
        {"-x alone", {L"-x"}, kUsageError, 1, nullptr},
        {"-x dump file only", {L"-x", L"a.dmp"}, kUsageError, 1, nullptr},
        {"-x with empty values", {L"-x", L"", L""}, kRun, 0, nullptr},
    });
}

TEST(ScanJustInTime, ReadsIdentifierEventAndAddress) {
    auto scanned = Scan({L"-ma", L"-j", L"c:\\dumps\\crash.dmp", L"1234", L"88", L"7ffe0000"});
    ASSERT_EQ(kRun, scanned->outcome.status);
    const MonitorConfig& s = scanned->options.settings;
    EXPECT_EQ(1u, s.jitMode);
    EXPECT_EQ(1234u, scanned->options.targetId);
    EXPECT_FALSE(scanned->options.targetByName);
    EXPECT_EQ(88u, s.jitEvent);
    EXPECT_EQ(static_cast<uintptr_t>(0x7ffe0000), s.jitDebugInfo);
    EXPECT_STREQ(L"c:\\dumps\\crash.dmp", scanned->options.dumpPath);
    EXPECT_EQ(0x127u, s.dumpType);
}

TEST(ScanJustInTime, ReplacesANamedTarget) {
    auto scanned = Scan({L"notepad.exe", L"-j", L"c.dmp", L"77", L"3"});
    ASSERT_EQ(kRun, scanned->outcome.status);
    EXPECT_EQ(nullptr, scanned->options.targetName);
    EXPECT_FALSE(scanned->options.targetByName);
    EXPECT_EQ(77u, scanned->options.targetId);
    EXPECT_EQ(0u, scanned->options.settings.jitDebugInfo);
}

TEST(ScanJustInTime, CharactersAfterTheNumbersAreIgnored) {
    auto scanned = Scan({L"-j", L"c.dmp", L"77abc", L"3;", L"10zz"});
    ASSERT_EQ(kRun, scanned->outcome.status);
    EXPECT_EQ(77u, scanned->options.targetId);
    EXPECT_EQ(3u, scanned->options.settings.jitEvent);
    EXPECT_EQ(static_cast<uintptr_t>(0x10), scanned->options.settings.jitDebugInfo);
}

TEST(ScanJustInTime, ReadFailures) {
    ExpectOutcomes({
        {"too few values", {L"-j", L"c.dmp", L"77"}, kUsageError, 1, nullptr},
        {"identifier not a number", {L"-j", L"c.dmp", L"pid", L"3"}, kUsageError, 1, nullptr},
        {"event not a number", {L"-j", L"c.dmp", L"77", L""}, kUsageError, 1, nullptr},
        {"address not hexadecimal", {L"-j", L"c.dmp", L"77", L"3", L"zz"}, kUsageError, 1, nullptr},
        {"fourth value taken whatever it is",
         {L"-j", L"c.dmp", L"77", L"3", L"-ma"},
         kUsageError,
         1,
         nullptr},
    });
}

TEST(ScanInstall, CopiesTheDumpFile) {
    auto scanned = Scan({L"-ma", L"-i", L"c:\\dumps\\crash.dmp"});
    ASSERT_EQ(kRun, scanned->outcome.status);
    EXPECT_TRUE(scanned->options.install);
    EXPECT_TRUE(scanned->options.fullMemory);
    EXPECT_STREQ(L"c:\\dumps\\crash.dmp", scanned->options.dumpPath);
    ExpectOutcomes({{"-i without value", {L"-i"}, kUsageError, 1, nullptr}});
}

TEST(ScanInstall, UndoIsAnOptionOfItsOwnThatContradictsInstall) {
    for (const wchar_t* form : {L"-iu", L"/iu"}) {
        auto scanned = Scan({form});
        ASSERT_EQ(kRun, scanned->outcome.status);
        EXPECT_TRUE(scanned->options.uninstall);
        EXPECT_FALSE(scanned->options.install);
    }
    ExpectOutcomes({
        {"-iu then -i", {L"-iu", L"-i", L"c.dmp"}, kUsageError, 1, nullptr},
        {"-i then -iu", {L"-i", L"c.dmp", L"-iu"}, kUsageError, 1, nullptr},
        {"matched whole: -iux", {L"-iux"}, kRun, 0, nullptr},
        {"case-sensitive: -IU", {L"-IU"}, kRun, 0, nullptr},
    });
    EXPECT_FALSE(Scan({L"-IU"})->options.uninstall);
}

TEST(ScanUserLibrary, LoadsWhenScanned) {
    auto scanned = Scan({L"-d", L"callback.dll", L"1"});
    ASSERT_EQ(kRun, scanned->outcome.status);
    EXPECT_TRUE(scanned->options.userLibrary);
    EXPECT_STREQ(L"callback.dll", scanned->options.userLibraryPath);
    ExpectOutcomes({
        {"library fails: the loader has reported",
         {L"-d", L"missing.dll", L"1"},
         kRefused,
         1,
         nullptr},
        {"library path missing", {L"1", L"-d"}, kUsageError, 1, nullptr},
    });
}

TEST(ScanReflection, NeedsWindows7) {
    ExpectOutcomes({{"-r before 6.1", {L"-r", L"1"}, kRefused, 1, kReflectMessage}},
                   scan_test::kOldSystem);
    auto scanned = Scan({L"/r", L"1"});
    EXPECT_EQ(kRun, scanned->outcome.status);
    EXPECT_EQ(1u, scanned->options.settings.reflect);
}

TEST(ScanLongValues, AreRefusedNeverCut) {
    const std::wstring path259(259, L'p');
    const std::wstring path260(260, L'p');
    const std::wstring arguments1023(1023, L'a');
    const std::wstring arguments1024(1024, L'a');
    ExpectOutcomes({
        {"positional dump file of 260", {L"1", path260}, kRefused, 1, kDumpPathTooLong},
        {"-i dump file of 260", {L"-i", path260}, kRefused, 1, kDumpPathTooLong},
        {"-x dump file of 260", {L"-x", path260, L"a.exe"}, kRefused, 1, kDumpPathTooLong},
        {"-j dump file of 260", {L"-j", path260, L"1", L"2"}, kRefused, 1, kDumpPathTooLong},
        {"-x argument string of 1024",
         {L"-x", L"a.dmp", L"a.exe", arguments1024},
         kRefused,
         1,
         kArgumentsTooLong},
        {"name target of 260", {path260}, kRefused, 1, kNameTooLong},
        {"-x image of 260", {L"-x", L"a.dmp", path260}, kRefused, 1, kImageTooLong},
        {"-x image of 10000",
         {L"-x", L"a.dmp", std::wstring(10000, L'i')},
         kRefused,
         1,
         kImageTooLong},
        {"-x image of 259 fits", {L"-x", L"a.dmp", path259}, kRun, 0, nullptr},
        {"dump file of 259 fits", {L"1", path259}, kRun, 0, nullptr},
        {"name target of 259 fits", {path259}, kRun, 0, nullptr},
        {"argument string of 1023 fits",
         {L"-x", L"a.dmp", L"a.exe", arguments1023},
         kRun,
         0,
         nullptr},
        {"a long ignored candidate is no dump file",
         {L"-i", L"a.dmp", L"1", path260},
         kRun,
         0,
         nullptr},
    });
    auto fits = Scan({L"-x", L"a.dmp", L"a.exe", arguments1023});
    EXPECT_EQ(arguments1023, fits->options.launchArguments);
}

}  // namespace
