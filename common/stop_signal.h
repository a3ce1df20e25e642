// The run's stop signal: a manual-reset event that Ctrl+C, the target's exit
// or a thread that ends the run sets, and that nothing ever resets. Every
// wait of the run that may last waits on it too, so a stop is seen at once.
#pragma once

#include <windows.h>

#include <cstdint>

// A new stop signal, not set. Null when the system has no event to give.
inline HANDLE CreateStopSignal() {
    return CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

inline void RaiseStop(HANDLE stop) {
    SetEvent(stop);
}

inline bool StopRaised(HANDLE stop) {
    return WaitForSingleObject(stop, 0) == WAIT_OBJECT_0;
}

// Waits up to milliseconds; true when the stop was raised meanwhile.
inline bool WaitForStop(HANDLE stop, DWORD milliseconds) {
    return WaitForSingleObject(stop, milliseconds) == WAIT_OBJECT_0;
}

// The same for waits of any length (one system wait is at most 49 days).
// A null signal is never raised: the wait is a plain sleep.
inline bool WaitForStopLong(HANDLE stop, uint64_t milliseconds) {
    while (milliseconds > 0) {
        const DWORD step =
            milliseconds < 0x7FFFFFFF ? static_cast<DWORD>(milliseconds) : 0x7FFFFFFF;
        if (stop == nullptr) {
            Sleep(step);
        } else if (WaitForStop(stop, step)) {
            return true;
        }
        milliseconds -= step;
    }
    return stop != nullptr && StopRaised(stop);
}
