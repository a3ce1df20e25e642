// The command-line scan: a function over the argument vector that returns
// its outcome and prints nothing itself. The entry prints and exits.
#pragma once

#include "console/options/monitor_config.h"

#include <cstdint>

// What the scan leaves behind besides the record's own fields.
struct ScannedOptions {
    // The scanned fields of the record (dumpCount, overwrite, dumpType,
    // exceptionMonitor, ..., debugThread), defaults as the option table gives
    // them. Handles, identifiers and shared-object pointers stay zero.
    MonitorConfig settings;

    // Target designation: a name (pointer to the argument) or an identifier
    // (0 = none given yet).
    const wchar_t* targetName;
    uint32_t targetId;
    bool targetByName;

    bool launch;       // -x
    bool wait;         // -w
    bool install;      // -i
    bool uninstall;    // -iu
    bool fullMemory;   // -ma, carried into the -i registration
    bool userLibrary;  // -d, carried into the -i registration
    bool force64;      // -64
    const wchar_t* userLibraryPath;
    const wchar_t* launchImage;  // -x image
    const wchar_t* logPath;      // -log: the event log, null without
    const wchar_t* sendPath;     // -send: the dump file or folder to send, null without

    wchar_t dumpPath[kPathCapacity];
    wchar_t launchArguments[kLaunchArgumentsCapacity];
};

enum class ScanStatus {
    Run,           // go on with acquisition
    ShowUsage,     // print the usage text, end with exitCode (0 for -?, 1 for too few arguments)
    ShowExamples,  // print the examples text, end with 0
    UsageError,    // print the usage text, end with 1
    Refused,       // print message (when not null), end with exitCode
};

struct ScanOutcome {
    ScanStatus status;
    int exitCode;
    // Static text printed for Refused; null when the report has already been
    // printed (the -d library loader prints its own system-error report).
    const wchar_t* message;
};

// The system services the scan needs, injected so that the scan can be
// tested without them.
struct ScanEnvironment {
    // -d: loads the library and looks up its callback routine. On failure it
    // prints its report and returns false.
    bool (*loadUserLibrary)(const wchar_t* path, MINIDUMP_CALLBACK_ROUTINE* routine);
    // -r: true on Windows 7 (6.1) and later.
    bool (*reflectionSupported)();
};

ScanOutcome ScanArguments(int argc, wchar_t** argv, const ScanEnvironment& environment,
                          ScannedOptions& options);
