// The log lines and dump comments of the counter sampling thread, formatted
// into caller buffers and never past them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/monitors/cpu_share.h"

// The wall-clock time that every log line of a sampling pass carries.
struct PassClock {
    uint32_t hour;
    uint32_t minute;
    uint32_t second;
};

constexpr size_t kLogLineCapacity = 128;

// The line a CPU step prints; an empty text when the step prints nothing.
void FormatCpuLine(wchar_t* line, size_t capacity, const PassClock& clock, int32_t trigger,
                   const CpuStep& step);
void FormatCommitLine(wchar_t* line, size_t capacity, const PassClock& clock, uint32_t commitMB);
void FormatCounterLine(wchar_t* line, size_t capacity, const PassClock& clock, int64_t value);

// Every comment starts with the monitor's own command line. When that is too
// long for the buffer it is shortened, so that the reason after it is always
// kept whole.
void FormatCpuComment(wchar_t* comment, size_t capacity, const wchar_t* commandLine,
                      int32_t trigger, uint32_t threshold, uint32_t seconds);
void FormatCommitComment(wchar_t* comment, size_t capacity, const wchar_t* commandLine,
                         int32_t trigger, uint32_t thresholdMB);
void FormatCounterComment(wchar_t* comment, size_t capacity, const wchar_t* commandLine,
                          int32_t trigger, int64_t threshold);
void FormatHungWindowComment(wchar_t* comment, size_t capacity, const wchar_t* commandLine,
                             const void* window);
void FormatManualComment(wchar_t* comment, size_t capacity, const wchar_t* commandLine);
void FormatJitComment(wchar_t* comment, size_t capacity, const wchar_t* commandLine,
                      uint32_t processId, uint32_t jitEvent, uintptr_t jitDebugInfo);
