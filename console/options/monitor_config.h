// The record of one monitoring run's settings: filled once by the entry after
// the target is open, then only read by the monitor threads. The run's shared
// objects (stop signal, dump series state) live beside it in the entry.
#pragma once

#include <windows.h>
#include <dbghelp.h>

#include <cstdint>

// Trigger sign convention of the CPU, commit and counter triggers.
constexpr int32_t kTriggerOff = 0;
constexpr int32_t kTriggerAtOrAbove = 1;
constexpr int32_t kTriggerAtOrBelow = -1;

constexpr size_t kPathCapacity = MAX_PATH;         // 259 characters and a terminator
constexpr size_t kLaunchArgumentsCapacity = 1024;  // 1023 characters and a terminator
constexpr size_t kDumpCommentCapacity = 1024;

struct MonitorConfig {
    HANDLE process;
    uint32_t processId;
    uint32_t dumpCount;
    wchar_t* dumpPath;
    uint32_t overwrite;
    uint32_t dumpType;
    uint32_t exceptionMonitor;
    uint32_t miniPlus;
    uint32_t breakOnBreakpoints;
    uint32_t firstChance;
    uint32_t filterEnabled;
    const wchar_t* filter;
    uint32_t terminateMonitor;
    uint32_t reflect;
    uint32_t debugStrings;
    int32_t cpuTrigger;
    uint32_t cpuThreshold;
    uint32_t cpuSingleCore;
    uint32_t thresholdSeconds;
    int32_t commitTrigger;
    uint32_t commitThresholdMB;
    int32_t counterTrigger;
    const wchar_t* counterPath;
    int64_t counterThreshold;
    uint32_t hungWindow;
    uint32_t jitMode;
    uintptr_t jitDebugInfo;
    uint32_t jitEvent;
    uint32_t debugThread;
    // Long watches; all zero when their options are not given.
    uint32_t gapSeconds;    // -g
    uint32_t rearm;         // -a given: the triggers are armed again after a series
    uint32_t seriesLimit;   // -a's value: series to write; 0 = no limit
    uint32_t quietSeconds;  // -q
    uint32_t keepFiles;     // -keep
    uint32_t freeMB;        // -free
    uint32_t ratePerHour;   // -rate: dumps in any hour
    uint32_t metadata;      // -meta: a "<dump file>.json" beside every dump file
    uint32_t stack;         // -stack: the crash reason and stack printed after each exception dump
    // -upload: the crash server's URL, the argument itself (checked by the
    // scan); null without. It may hold a key: only its shown form is printed.
    const wchar_t* uploadUrl;
    // -d: the "MiniDumpCallbackRoutine" of the user's library (loaded for the
    // life of the process); null without.
    MINIDUMP_CALLBACK_ROUTINE userCallback;
    uint32_t allInstances;  // -all: every process of the name, those running and those to come
};

// -all: how many processes are watched at once at most. Each takes up to
// three threads of the monitor (its counter thread, its supervisor and, with
// -e, -l or -t, a debug-event thread of its own, since debug events reach
// only the thread that attached) and its dumps wait for the run's other
// dumps, which are written one at a time.
constexpr uint32_t kMostWatchedAtOnce = 64;

// Default values of the scanned fields, as the option table gives them.
constexpr uint32_t kDefaultDumpCount = 1;
constexpr uint32_t kDefaultDumpType = 0x125;
constexpr uint32_t kDefaultThresholdSeconds = 10;
