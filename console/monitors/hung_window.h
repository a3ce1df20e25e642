// Search for a visible top-level window of a watched process that the
// window manager reports as hung: one enumeration of the top-level windows
// serves every watched process.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

struct HungWindowSearch {
    uint32_t processId;
    HWND window;  // null until found
};

// What the enumeration is handed: the searches of one pass.
struct HungWindowSearches {
    HungWindowSearch* entries;
    size_t count;
    size_t found;
};

// EnumWindows callback; parameter is a HungWindowSearches*. Stores the
// first visible hung window of each process searched for, and stops the
// enumeration (returns FALSE) once every search has found one.
BOOL CALLBACK FindHungWindowProc(HWND window, LPARAM parameter);

// Fills in the first visible hung top-level window of each process (null
// where there is none), in one enumeration.
void FindHungWindows(HungWindowSearch* entries, size_t count);
