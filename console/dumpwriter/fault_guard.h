// Calls a dump callback routine of the user's library so that any exception
// it raises and does not handle itself, a hardware fault included, comes back
// as an outcome instead of ending the program.
#pragma once

#include <windows.h>
#include <dbghelp.h>

#include <cstdint>

struct GuardedCallOutcome {
    bool faulted;
    uint32_t exceptionCode;  // when faulted
    BOOL result;             // the routine's result; FALSE when faulted
};

// Calls routine(nullptr, input, output) on the calling thread.
GuardedCallOutcome CallDumpRoutineGuarded(MINIDUMP_CALLBACK_ROUTINE routine,
                                          PMINIDUMP_CALLBACK_INPUT input,
                                          PMINIDUMP_CALLBACK_OUTPUT output);
