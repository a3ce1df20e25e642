// Search for a visible top-level window of the target that the window
// manager reports as hung.
#pragma once

#include <windows.h>

#include <cstdint>

struct HungWindowSearch {
    uint32_t processId;
    HWND window;  // null until found
};

// EnumWindows callback; parameter is a HungWindowSearch*. Stops the
// enumeration (returns FALSE) once it has stored a window.
BOOL CALLBACK FindHungWindowProc(HWND window, LPARAM parameter);

// The first visible hung top-level window of the process, or null.
HWND FindHungWindow(uint32_t processId);
