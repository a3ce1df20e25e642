// Random argument vectors: the scan never crashes, always ends in one of its
// documented outcomes, and never accepts a value that does not fit.
#include <gtest/gtest.h>

#include <cwchar>
#include <random>
#include <string>
#include <vector>

#include "scan_test_support.h"

namespace {

const wchar_t* const kTokens[] = {L"-?",
                                  L"/?",
                                  L"-64",
                                  L"-b",
                                  L"-c",
                                  L"-cl",
                                  L"-d",
                                  L"-e",
                                  L"/e",
                                  L"-1",
                                  L"-f",
                                  L"-h",
                                  L"-i",
                                  L"-j",
                                  L"-l",
                                  L"-m",
                                  L"-ml",
                                  L"-ma",
                                  L"-mp",
                                  L"-n",
                                  L"-o",
                                  L"-p",
                                  L"-pl",
                                  L"-r",
                                  L"-s",
                                  L"-t",
                                  L"-u",
                                  L"-w",
                                  L"-x",
                                  L"/x",
                                  L"/j",
                                  L"-C",
                                  L"-MA",
                                  L"--c",
                                  L"-",
                                  L"/",
                                  L"",
                                  L"missing.dll",
                                  L"\\Process(a)\\Handle Count",
                                  L"\\Processor(_Total)\\% Processor Time",
                                  L"\\Memory\\Available Bytes",
                                  L"notepad.exe",
                                  L"out.dmp",
                                  L"c:\\dumps\\a.dmp"};

const wchar_t* const kDocumentedMessages[] = {
    L"Filtering requires 1st chance exception monitoring (-e -1).\n",
    L"-r  can only be used in Windows 7 and higher\n",
    L"The dump file path is too long (at most 259 characters).\n",
    L"The argument string of the process to launch is too long (at most 1023 characters).\n",
    L"The process name is too long (at most 259 characters).\n",
    L"The image file path of the process to launch is too long (at most 259 characters).\n",
};

std::wstring RandomArgument(std::mt19937& random) {
    switch (random() % 6) {
        case 0:
        case 1:
            return kTokens[random() % (sizeof(kTokens) / sizeof(kTokens[0]))];
        case 2:
            return std::to_wstring(random() % 100000);
        case 3: {
            // Junk: printable characters, dashes, slashes, digits.
            const wchar_t alphabet[] = L"-/0123456789abcxXeE .:\\%\"";
            std::wstring junk(random() % 12, L' ');
            for (wchar_t& c : junk) {
                c = alphabet[random() % (sizeof(alphabet) / sizeof(wchar_t) - 1)];
            }
            return junk;
        }
        case 4: {
            // Around the limits of the dump path and argument string buffers.
            const size_t lengths[] = {258, 259, 260, 261, 1022, 1023, 1024, 1025, 5000};
            return std::wstring(lengths[random() % 9], static_cast<wchar_t>(L'a' + random() % 26));
        }
        default:
            return std::to_wstring(static_cast<unsigned long long>(random()) * random());
    }
}

bool IsDocumentedMessage(const wchar_t* message) {
    for (const wchar_t* documented : kDocumentedMessages) {
        if (wcscmp(documented, message) == 0) {
            return true;
        }
    }
    return false;
}

void ExpectDocumentedOutcome(const ScanOutcome& outcome, const ScannedOptions& options) {
    switch (outcome.status) {
        case ScanStatus::Run:
            EXPECT_EQ(0, outcome.exitCode);
            EXPECT_LT(wcslen(options.dumpPath), kPathCapacity);
            EXPECT_LT(wcslen(options.launchArguments), kLaunchArgumentsCapacity);
            if (options.targetByName && !options.launch) {
                EXPECT_LT(wcslen(options.targetName), kPathCapacity);
            }
            if (options.settings.filterEnabled) {
                EXPECT_TRUE(options.settings.exceptionMonitor && options.settings.firstChance);
                EXPECT_NE(nullptr, options.settings.filter);
            }
            if (options.settings.counterTrigger != kTriggerOff) {
                EXPECT_EQ(0, _wcsnicmp(options.settings.counterPath, L"\\Process", 8));
            }
            break;
        case ScanStatus::ShowUsage:
        case ScanStatus::ShowExamples:
            EXPECT_EQ(0, outcome.exitCode);
            break;
        case ScanStatus::UsageError:
            EXPECT_EQ(1, outcome.exitCode);
            break;
        case ScanStatus::Refused:
            EXPECT_EQ(1, outcome.exitCode);
            if (outcome.message != nullptr) {
                EXPECT_TRUE(IsDocumentedMessage(outcome.message)) << outcome.message;
            }
            break;
        default:
            ADD_FAILURE() << "undocumented status " << static_cast<int>(outcome.status);
    }
}

TEST(ScanRandomVectors, EndInDocumentedOutcomes) {
    std::mt19937 random(20130403);
    ScannedOptions options;
    int counts[5] = {};
    for (int round = 0; round < 20000; ++round) {
        std::vector<std::wstring> values(1 + random() % 10);
        for (std::wstring& value : values) {
            value = RandomArgument(random);
        }
        scan_test::Arguments arguments(values);
        const ScanEnvironment& environment =
            random() % 4 == 0 ? scan_test::kOldSystem : scan_test::kModernSystem;
        ScanOutcome outcome =
            ScanArguments(arguments.count(), arguments.vector(), environment, options);
        ExpectDocumentedOutcome(outcome, options);
        counts[static_cast<int>(outcome.status) % 5]++;
        if (HasFailure()) {
            break;
        }
    }
    // Every outcome is reached, so the vectors do exercise the scan.
    for (int count : counts) {
        EXPECT_GT(count, 0);
    }
}

}  // namespace
