// The run's stop flag and the console control handler that sets it.
#pragma once

#include <windows.h>

// 0 while the monitoring runs, 1 once it is to stop. Written with single
// stores by the handler, the entry and the monitor threads; polled.
extern volatile LONG g_stopFlag;

BOOL WINAPI ConsoleCtrlHandler(DWORD controlType);
