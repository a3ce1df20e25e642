// The console program travels inside the dialog program: it is written next
// to it on every DUMP and run through the command interpreter in a console
// window of its own.
#pragma once

#include <windows.h>

#include <string>

#include "common/unique_resource.h"

// <system folder>\cmd.exe; false when the path does not fit.
bool InterpreterPath(std::wstring* path);

// Starts the interpreter with the command line; the new process's handle on success.
bool LaunchInterpreter(const std::wstring& interpreterPath, const std::wstring& commandLine,
                       UniqueHandle* process);

// True while the interpreter started last is still running; forgets the
// handle once it has ended.
bool ConsoleStillOpen(UniqueHandle* process);
