#include <windows.h>

#include "console/run/console_run.h"

int wmain(int argc, wchar_t** argv) {
    return RunConsoleProgram(argc, argv);
}
