#include "console/options/config_summary.h"

#include <cstdarg>
#include <cstdio>

#include "common/console_output.h"

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
    AppendFormatted(text, L"Dump file:             %s\n\n",
                    config.dumpPath != nullptr ? config.dumpPath : L"");
    return text;
}

void PrintConfigSummary(const MonitorConfig& config, const wchar_t* processName,
                        uint32_t targetId) {
    PrintWide(L"%s", ConfigSummaryText(config, processName, targetId).c_str());
}
