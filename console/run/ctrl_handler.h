// The console control handler: Ctrl+C raises the run's stop signal.
#pragma once

#include <windows.h>

enum class ControlAction {
    kStop,             // the run winds down; the event is handled
    kStopAndAwaitEnd,  // the same, and the handler waits for the program's end
    kSystemDefault,    // the system ends the program at once
};

// What an event of the console does to the run. Closing the console, logging
// off and shutting down stop the run as Ctrl+C does, and the handler then
// holds the system's end of the program back (for as long as the system
// lets it) until the run has ended by itself: ended at once, the program
// would leave a dump being written cut short. Ctrl+Break ends it at once.
ControlAction ControlActionOf(DWORD controlType);

// Installs the handler for the rest of the program; Ctrl+C raises
// stopSignal, which must outlive the program's run.
void InstallCtrlHandler(HANDLE stopSignal);

// From now on Ctrl+C raises signal as well (null: no longer): for a wait at
// the end of the run that a Ctrl+C which ended the watch has not ended yet.
void AlsoRaiseOnCtrlC(HANDLE signal);
