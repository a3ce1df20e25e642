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

// The longest the handler holds the end of the program back; the system's
// own bound (about five seconds for a closed console) usually comes first.
constexpr DWORD kAwaitEndMilliseconds = 30000;

BOOL WINAPI ConsoleCtrlHandler(DWORD controlType) {
    const ControlAction action = ControlActionOf(controlType);
    if (action == ControlAction::kSystemDefault) {
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
    if (action == ControlAction::kStopAndAwaitEnd) {
        // The run ends the program when it has wound down, ending this
        // thread with it; only a run that does not end meets the default.
        Sleep(kAwaitEndMilliseconds);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

ControlAction ControlActionOf(DWORD controlType) {
    switch (controlType) {
        case CTRL_C_EVENT:
            return ControlAction::kStop;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            return ControlAction::kStopAndAwaitEnd;
        default:
            return ControlAction::kSystemDefault;
    }
}

void AlsoRaiseOnCtrlC(HANDLE signal) {
    g_alsoRaised.store(signal);
}

void InstallCtrlHandler(HANDLE stopSignal) {
    g_stopSignal = stopSignal;
    SetConsoleCtrlHandler(ConsoleCtrlHandler, TRUE);
}
