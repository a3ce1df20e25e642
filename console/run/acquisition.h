// Turning the target designation of the command line into a process
// identifier and image name (the process is opened later).
#pragma once

#include <windows.h>

#include <cstdint>

#include "console/options/option_scan.h"

struct AcquiredTarget {
    uint32_t id;
    wchar_t processName[MAX_PATH];
};

// Prints the refusal and returns false when the target cannot be acquired
// (the run then ends with exit code 1). With -x nothing is acquired here.
// Waiting (-w) ends early when the stop signal is raised.
bool AcquireTarget(const ScannedOptions& options, AcquiredTarget& target, HANDLE stopSignal);
