#include "console/dumpwriter/user_callback.h"

#include "common/console_output.h"
#include "console/dumpwriter/fault_guard.h"

BOOL CallUserDumpCallback(MINIDUMP_CALLBACK_ROUTINE routine, PMINIDUMP_CALLBACK_INPUT input,
                          PMINIDUMP_CALLBACK_OUTPUT output) {
    GuardedCallOutcome outcome = CallDumpRoutineGuarded(routine, input, output);
    if (outcome.faulted) {
        PrintWide(L"Exception in registered MiniDumpCallbackRoutine:\n%08X\n\n",
                  static_cast<unsigned>(outcome.exceptionCode));
        return FALSE;
    }
    return outcome.result;
}
