// The user's dump callback routine loaded with -d ("MiniDumpCallbackRoutine"
// of the user's library). Set once by the entry before the monitor threads
// start; null when -d was not given.
#pragma once

#include <windows.h>
#include <dbghelp.h>

using MiniDumpCallbackRoutine = BOOL(CALLBACK*)(PVOID parameter,
                                                const PMINIDUMP_CALLBACK_INPUT input,
                                                PMINIDUMP_CALLBACK_OUTPUT output);

extern MiniDumpCallbackRoutine UserDumpCallback;
