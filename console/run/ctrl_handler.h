// The console control handler: Ctrl+C raises the run's stop signal.
#pragma once

#include <windows.h>

// Installs the handler for the rest of the program; Ctrl+C raises
// stopSignal, which must outlive the program's run.
void InstallCtrlHandler(HANDLE stopSignal);

// From now on Ctrl+C raises signal as well (null: no longer): for a wait at
// the end of the run that a Ctrl+C which ended the watch has not ended yet.
void AlsoRaiseOnCtrlC(HANDLE signal);
