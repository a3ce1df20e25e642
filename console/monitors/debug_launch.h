// Hand-over of a launch to the debug-event thread (see
// MonitorRun::launchRequest).
#pragma once

#include <windows.h>

#include <cstdint>

struct DebugLaunchRequest {
    // In, set by the entry before the thread starts.
    const wchar_t* image;
    wchar_t* arguments;  // the complete command line of the new process (may be empty)
    HANDLE launched;     // manual-reset event the thread sets once CreateProcessW returned
    HANDLE proceed;      // manual-reset event the entry sets when the record is complete

    // Out, valid once `launched` is set.
    bool succeeded;
    uint32_t error;  // GetLastError of a failed CreateProcessW
    HANDLE process;  // owned by the entry from then on
    uint32_t processId;

    // Set by the entry before `proceed` when the run ends before monitoring
    // (for example a 64-bit image found by the 32-bit build): the thread then
    // terminates the launched process if `terminate` is set, detaches and ends
    // without touching the rest of the record.
    bool abandon;
    bool terminate;
};
