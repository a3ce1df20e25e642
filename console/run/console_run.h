#pragma once

// The console program from start-up to its exit code.
int RunConsoleProgram(int argc, wchar_t** argv);
