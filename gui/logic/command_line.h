// The command line the dialog hands to the command interpreter: a pure
// function of the dialog's state and a few paths, so that it can be checked
// without a window.
#pragma once

#include <windows.h>

#include <string>

// Dialog state in the dialog's own terms: radio indexes and check box states.
struct DialogChoices {
    int dumpTypeIndex = 0;  // 0 mini, 1 full, 2 MiniPlus ("Effective Dump")
    int cpuEnable = 0;
    int cpuBelow = 0;  // 0 "Above", otherwise "Below"
    int cpuUsage = 10;
    int memEnable = 0;
    int memBelow = 0;
    int memUsage = 50;
    int exceptionCheck = 0;
    int hungWindowCheck = 0;
    int processExitCheck = 0;
};

// "<cmd>" /c ""<image>" <options> <pid> "<dump path>" & pause"
// The interpreter strips the outer quotes after /c; pause keeps the console
// window open so that the console program's last output can be read.
std::wstring BuildCommandLine(const DialogChoices& choices, DWORD processId,
                              const std::wstring& dumpPath, const std::wstring& consoleImagePath,
                              const std::wstring& interpreterPath);

// A double quote can never be part of a Windows file name, and inside the
// quoted text given to the interpreter it would end the quoting and let the
// rest of the path run as commands.
bool IsQuotableDumpPath(const std::wstring& dumpPath);
