#include "console/run/ctrl_handler.h"

#include <atomic>

#include "common/console_output.h"
#include "common/stop_signal.h"

namespace {

// Set once, before the handler is installed; the handler runs on a thread
// of the system's and has no other way to reach the run.
HANDLE g_stopSignal = nullptr;
// A wait of the run's end that Ctrl+C ends too, or null.
std::atomic<HANDLE> g_alsoRaised{nullptr};

BOOL WINAPI ConsoleCtrlHandler(DWORD controlType) {
    if (controlType != CTRL_C_EVENT) {
        // Ctrl+Break, console close, log-off and shut-down end the program
        // through the system's default handling.
        return FALSE;
    }
#ifndef _WIN64
    // The 32-bit build may be waiting for its 64-bit build, which shares the
    // console and winds its own run down.
    PrintWide(L"\nDetaching...\n");
#endif
    RaiseStop(g_stopSignal);
    if (HANDLE also = g_alsoRaised.load()) {
        RaiseStop(also);
    }
    return TRUE;
}

}  // namespace

void AlsoRaiseOnCtrlC(HANDLE signal) {
    g_alsoRaised.store(signal);
}

void InstallCtrlHandler(HANDLE stopSignal) {
    g_stopSignal = stopSignal;
    SetConsoleCtrlHandler(ConsoleCtrlHandler, TRUE);
}
