#include "console/monitors/monitor_texts.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>

#include "common/bounded_text.h"

namespace {

constexpr size_t kReasonCapacity = 256;

// head, then as much of the command line as leaves room for the reason, then
// the reason (already formatted).
void ComposeComment(wchar_t* comment, size_t capacity, const wchar_t* head,
                    const wchar_t* commandLine, const wchar_t* reason) {
    if (capacity == 0) {
        return;
    }
    const size_t fixed = wcslen(head) + wcslen(reason) + 1;
    const size_t room = capacity > fixed ? capacity - fixed : 0;
    const size_t length = wcslen(commandLine);
    const int shown = static_cast<int>(length < room ? length : room);
    FormatCut(comment, capacity, L"%s%.*s%s", head, shown, commandLine, reason);
}

void FormatReason(wchar_t* reason, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    int written = _vsnwprintf(reason, kReasonCapacity, format, args);
    va_end(args);
    if (written < 0 || static_cast<size_t>(written) >= kReasonCapacity) {
        reason[kReasonCapacity - 1] = L'\0';
    }
}

}  // namespace

void FormatCpuLine(wchar_t* line, size_t capacity, const PassClock& clock, int32_t trigger,
                   const CpuStep& step) {
    switch (step.line) {
        case CpuLine::kCount:
            FormatCut(line, capacity, L"[%02d:%02d:%02d] CPU:       % 7d%% %4ds\n", clock.hour,
                      clock.minute, clock.second, step.value, step.count);
            return;
        case CpuLine::kReset:
            FormatCut(line, capacity, L"[%02d:%02d:%02d] CPU:       % 7d%% %s\n", clock.hour,
                      clock.minute, clock.second, step.value, trigger > 0 ? L"Below" : L"Above");
            return;
        case CpuLine::kNone:
            break;
    }
    if (capacity > 0) {
        line[0] = L'\0';
    }
}

void FormatCommitLine(wchar_t* line, size_t capacity, const PassClock& clock, uint32_t commitMB) {
    FormatCut(line, capacity, L"[%02d:%02d:%02d] Memory:  %8ldMb\n", clock.hour, clock.minute,
              clock.second, static_cast<long>(commitMB));
}

void FormatCounterLine(wchar_t* line, size_t capacity, const PassClock& clock, int64_t value) {
    // The seconds column of a counter line always shows 1: the counter has
    // no consecutive-seconds rule.
    FormatCut(line, capacity, L"[%02d:%02d:%02d] Counter:   % 8I64d %4ds\n", clock.hour,
              clock.minute, clock.second, static_cast<long long>(value), 1);
}

void FormatCpuComment(wchar_t* comment, size_t capacity, const wchar_t* commandLine,
                      int32_t trigger, uint32_t threshold, uint32_t seconds) {
    wchar_t reason[kReasonCapacity];
    FormatReason(reason, L"\nCPU Threshold %s %d%% for %d seconds.\n", trigger > 0 ? L">=" : L"<=",
                 threshold, seconds);
    ComposeComment(comment, capacity, L"\n*** ", commandLine, reason);
}

void FormatCommitComment(wchar_t* comment, size_t capacity, const wchar_t* commandLine,
                         int32_t trigger, uint32_t thresholdMB) {
    wchar_t reason[kReasonCapacity];
    FormatReason(reason, L"\nCommit usage %s %d MB.\n", trigger > 0 ? L">=" : L"<=", thresholdMB);
    ComposeComment(comment, capacity, L"\n*** ", commandLine, reason);
}

void FormatCounterComment(wchar_t* comment, size_t capacity, const wchar_t* commandLine,
                          int32_t trigger, int64_t threshold) {
    wchar_t reason[kReasonCapacity];
    FormatReason(reason, L"\nPerformance counter %s %I64d.\n", trigger > 0 ? L">=" : L"<=",
                 static_cast<long long>(threshold));
    ComposeComment(comment, capacity, L"\n*** ", commandLine, reason);
}

void FormatHungWindowComment(wchar_t* comment, size_t capacity, const wchar_t* commandLine,
                             const void* window) {
    wchar_t reason[kReasonCapacity];
    FormatReason(reason, L"\nHung window detected: %p .\n", window);
    // This comment has no blank after the three asterisks.
    ComposeComment(comment, capacity, L"\n***", commandLine, reason);
}

void FormatManualComment(wchar_t* comment, size_t capacity, const wchar_t* commandLine) {
    ComposeComment(comment, capacity, L"\n*** ", commandLine, L"\n*** Manual dump.\n");
}

void FormatJitComment(wchar_t* comment, size_t capacity, const wchar_t* commandLine,
                      uint32_t processId, uint32_t jitEvent, uintptr_t jitDebugInfo) {
    wchar_t reason[kReasonCapacity];
    FormatReason(reason,
                 L"\n*** Just-In-Time debugger. PID: %ld Event Handle: %ld JIT Context: .jdinfo "
                 L"0x%p.\n",
                 static_cast<long>(processId), static_cast<long>(jitEvent),
                 reinterpret_cast<void*>(jitDebugInfo));
    ComposeComment(comment, capacity, L"\n*** ", commandLine, reason);
}
