#include "console/run/ctrl_handler.h"

#include "common/console_output.h"

volatile LONG g_stopFlag = 0;

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
    g_stopFlag = 1;
    return TRUE;
}
