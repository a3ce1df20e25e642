// The dump callback routine of the user's library (-d).
#pragma once

#include <windows.h>
#include <dbghelp.h>

// Calls the routine with a null parameter and the platform's records
// unchanged and returns its result. An exception that escapes the routine is
// reported with its code and answered with FALSE for this one callback.
BOOL CallUserDumpCallback(MINIDUMP_CALLBACK_ROUTINE routine, PMINIDUMP_CALLBACK_INPUT input,
                          PMINIDUMP_CALLBACK_OUTPUT output);
