#include "console/monitors/hung_window.h"

BOOL CALLBACK FindHungWindowProc(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<HungWindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    // No timing of our own: "hung" is whatever the window manager says (no
    // answer to window messages for about five seconds).
    if (owner == search->processId && IsWindowVisible(window) && IsHungAppWindow(window)) {
        search->window = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindHungWindow(uint32_t processId) {
    HungWindowSearch search = {processId, nullptr};
    EnumWindows(FindHungWindowProc, reinterpret_cast<LPARAM>(&search));
    return search.window;
}
