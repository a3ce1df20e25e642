// The console control handler: Ctrl+C raises the run's stop signal.
#pragma once

#include <windows.h>

// Installs the handler for the rest of the program; Ctrl+C raises
// stopSignal, which must outlive the program's run.
void InstallCtrlHandler(HANDLE stopSignal);
