#include "console/monitors/hung_window.h"

BOOL CALLBACK FindHungWindowProc(HWND window, LPARAM parameter) {
    auto* searches = reinterpret_cast<HungWindowSearches*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    for (size_t i = 0; i < searches->count; ++i) {
        HungWindowSearch& search = searches->entries[i];
        if (search.window != nullptr || search.processId != owner) {
            continue;
        }
        // No timing of our own: "hung" is whatever the window manager says
        // (no answer to window messages for about five seconds).
        if (IsWindowVisible(window) && IsHungAppWindow(window)) {
            search.window = window;
            ++searches->found;
        }
        break;
    }
    return searches->found < searches->count ? TRUE : FALSE;
}

void FindHungWindows(HungWindowSearch* entries, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        entries[i].window = nullptr;
    }
    if (count == 0) {
        return;
    }
    HungWindowSearches searches = {entries, count, 0};
    EnumWindows(FindHungWindowProc, reinterpret_cast<LPARAM>(&searches));
}
