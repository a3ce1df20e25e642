// Starting an image as a debuggee of the calling thread, as -x does.
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/unique_resource.h"

struct DebuggedLaunch {
    bool started;
    uint32_t error;  // GetLastError of a failed start
    UniqueHandle process;
    uint32_t processId;
};

// CreateProcessW of the image with arguments as the complete command line
// (may be empty), DEBUG_ONLY_THIS_PROCESS, the caller's environment and
// folder. The new thread's handle is closed at once; the process handle is
// the caller's. The platform delivers the process's debug events to the
// calling thread only.
DebuggedLaunch LaunchUnderDebugger(const wchar_t* image, wchar_t* arguments);
