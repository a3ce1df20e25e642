#include "console/options/config_summary.h"

#include <cstdarg>
#include <cstdio>

#include "common/console_output.h"
#include "common/http_url.h"

namespace {

// Every line holds at most one path of 259 characters besides its caption.
constexpr size_t kLineCapacity = 2 * kPathCapacity;

void AppendFormatted(std::wstring& text, const wchar_t* format, ...) {
    wchar_t line[kLineCapacity];
    va_list args;
    va_start(args, format);
    int written = _vsnwprintf(line, kLineCapacity, format, args);
    va_end(args);
    if (written < 0 || static_cast<size_t>(written) >= kLineCapacity) {
        line[kLineCapacity - 1] = L'\0';
    }
    text += line;
}

const wchar_t* Direction(int32_t trigger) {
    return trigger > 0 ? L">=" : L"<=";
}

const wchar_t* Enabled(uint32_t flag) {
    return flag ? L"Enabled" : L"Disabled";
}

// Lines only for the long-watch options given, so that a run without them
// shows the summary it always has.
void AppendLongWatch(std::wstring& text, const MonitorConfig& config) {
    if (config.rearm != 0) {
        if (config.seriesLimit == 0) {
            text += L"Series to write:       no limit\n";
        } else {
            AppendFormatted(text, L"Series to write:       %u\n", config.seriesLimit);
        }
    }
    if (config.gapSeconds != 0) {
        AppendFormatted(text, L"Gap between dumps:     %u s\n", config.gapSeconds);
    }
    if (config.quietSeconds != 0) {
        AppendFormatted(text, L"Quiet time:            %u s\n", config.quietSeconds);
    }
    if (config.keepFiles != 0) {
        AppendFormatted(text, L"Dump files kept:       %u\n", config.keepFiles);
    }
    if (config.freeMB != 0) {
        AppendFormatted(text, L"Free space kept:       %u MB\n", config.freeMB);
    }
    if (config.ratePerHour != 0) {
        AppendFormatted(text, L"Dumps per hour:        at most %u\n", config.ratePerHour);
    }
    if (config.allInstances != 0) {
        AppendFormatted(text, L"Every instance:        yes, at most %u at once\n",
                        kMostWatchedAtOnce);
    }
}

}  // namespace

std::wstring ConfigSummaryText(const MonitorConfig& config, const wchar_t* processName,
                               uint32_t targetId) {
    std::wstring text;
    AppendFormatted(text, L"Process:               %s (%d)\n", processName,
                    static_cast<int>(targetId));
    if (config.cpuTrigger != kTriggerOff) {
        AppendFormatted(text, L"CPU threshold:         %s %d%% of %s\nThreshold seconds:     %d\n",
                        Direction(config.cpuTrigger), static_cast<int>(config.cpuThreshold),
                        config.cpuSingleCore ? L"single core" : L"system",
                        static_cast<int>(config.thresholdSeconds));
    } else {
        text += L"CPU threshold:         n/a\nThreshold seconds:     n/a\n";
    }
    if (config.counterTrigger != kTriggerOff) {
        AppendFormatted(text, L"Performance counter:   %s %I64d\n",
                        Direction(config.counterTrigger),
                        static_cast<long long>(config.counterThreshold));
    } else {
        text += L"Performance counter:   n/a\n";
    }
    if (config.commitTrigger != kTriggerOff) {
        AppendFormatted(text, L"Commit threshold:      %s %d MB\n", Direction(config.commitTrigger),
                        static_cast<int>(config.commitThresholdMB));
    } else {
        text += L"Commit threshold:      n/a\n";
    }
    AppendFormatted(text,
                    L"Number of dumps:       %d\nHung window check:     %s\nException monitor:     "
                    L"%s\nException filter:      %s\nTerminate monitor:     %s\n",
                    static_cast<int>(config.dumpCount), Enabled(config.hungWindow),
                    Enabled(config.exceptionMonitor), Enabled(config.filterEnabled),
                    Enabled(config.terminateMonitor));
    AppendLongWatch(text, config);
    if (config.uploadUrl != nullptr) {
        // Without its query: a key there is never shown. Appended whole, as a
        // URL may be longer than a line's buffer.
        text += L"Upload:                " + ShownUrlText(config.uploadUrl) + L"\n";
    }
    AppendFormatted(text, L"Dump file:             %s\n\n",
                    config.dumpPath != nullptr ? config.dumpPath : L"");
    return text;
}

void PrintConfigSummary(const MonitorConfig& config, const wchar_t* processName,
                        uint32_t targetId) {
    PrintWide(L"%s", ConfigSummaryText(config, processName, targetId).c_str());
}
