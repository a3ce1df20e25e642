// The guard around the user's dump callback routine: hardware faults and
// raised exceptions inside the routine come back as outcomes, the thread
// stays usable, and DumpCallback hands every call to the registered routine.
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "console/dumpwriter/dump_callback.h"
#include "console/dumpwriter/fault_guard.h"
#include "console/dumpwriter/user_callback.h"

namespace {

volatile uintptr_t g_badAddress = 0x10;
// Volatile, so that the stores before the fault are not moved past it.
volatile int g_calls = 0;
void* volatile g_lastParam = reinterpret_cast<void*>(1);
volatile ULONG g_lastType = 0;

BOOL CALLBACK Faulting(void* param, PMINIDUMP_CALLBACK_INPUT input, PMINIDUMP_CALLBACK_OUTPUT) {
    g_calls = g_calls + 1;
    g_lastParam = param;
    g_lastType = input->CallbackType;
    *reinterpret_cast<volatile int*>(g_badAddress) = 1;
    return TRUE;
}

BOOL CALLBACK Raising(void*, PMINIDUMP_CALLBACK_INPUT, PMINIDUMP_CALLBACK_OUTPUT) {
    RaiseException(0xE0564801, 0, 0, nullptr);
    return TRUE;
}

// Deep frames and a throw caught by the routine itself: the guard must not
// see exceptions the routine handles.
__attribute__((noinline)) int Thrower(int depth) {
    if (depth == 0) {
        throw std::runtime_error("inside");
    }
    return Thrower(depth - 1) + 1;
}

BOOL CALLBACK HandlesItsOwnException(void*, PMINIDUMP_CALLBACK_INPUT, PMINIDUMP_CALLBACK_OUTPUT) {
    try {
        Thrower(5);
    } catch (const std::runtime_error&) {
        return 7;
    }
    return FALSE;
}

BOOL CALLBACK Recording(void* param, PMINIDUMP_CALLBACK_INPUT input,
                        PMINIDUMP_CALLBACK_OUTPUT output) {
    g_calls = g_calls + 1;
    g_lastParam = param;
    g_lastType = input->CallbackType;
    if (input->CallbackType == MemoryCallback) {
        output->MemoryBase = 0xABCD;
    }
    return input->CallbackType == ThreadCallback ? FALSE : TRUE;
}

MINIDUMP_CALLBACK_INPUT Input(ULONG type) {
    MINIDUMP_CALLBACK_INPUT input = {};
    input.ProcessId = GetCurrentProcessId();
    input.ProcessHandle = GetCurrentProcess();
    input.CallbackType = type;
    return input;
}

TEST(FaultGuard, CatchesAccessViolationsAndRaisedExceptionsAgainAndAgain) {
    MINIDUMP_CALLBACK_INPUT input = Input(ModuleCallback);
    MINIDUMP_CALLBACK_OUTPUT output = {};
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        GuardedCallOutcome outcome = CallDumpRoutineGuarded(Faulting, &input, &output);
        EXPECT_TRUE(outcome.faulted);
        EXPECT_EQ(0xC0000005u, outcome.exceptionCode);
        EXPECT_EQ(FALSE, outcome.result);

        outcome = CallDumpRoutineGuarded(Raising, &input, &output);
        EXPECT_TRUE(outcome.faulted);
        EXPECT_EQ(0xE0564801u, outcome.exceptionCode);

        outcome = CallDumpRoutineGuarded(HandlesItsOwnException, &input, &output);
        EXPECT_FALSE(outcome.faulted);
        EXPECT_EQ(7, outcome.result);
    }
}

TEST(FaultGuard, ThreadWorksNormallyAfterAFault) {
    MINIDUMP_CALLBACK_INPUT input = Input(ModuleCallback);
    MINIDUMP_CALLBACK_OUTPUT output = {};
    ASSERT_TRUE(CallDumpRoutineGuarded(Faulting, &input, &output).faulted);
    // Exceptions of our own still unwind and are caught after the jump out of
    // the faulting routine.
    bool caught = false;
    try {
        Thrower(3);
    } catch (const std::runtime_error&) {
        caught = true;
    }
    EXPECT_TRUE(caught);
    GuardedCallOutcome outcome = CallDumpRoutineGuarded(Recording, &input, &output);
    EXPECT_FALSE(outcome.faulted);
    EXPECT_EQ(TRUE, outcome.result);
}

TEST(UserCallback, FaultIsReportedWithItsCodeAndAnsweredWithFalse) {
    MINIDUMP_CALLBACK_INPUT input = Input(ThreadCallback);
    MINIDUMP_CALLBACK_OUTPUT output = {};
    g_lastParam = reinterpret_cast<void*>(1);
    testing::internal::CaptureStdout();
    BOOL result = CallUserDumpCallback(Faulting, &input, &output);
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(FALSE, result);
    EXPECT_EQ(nullptr, g_lastParam);
    EXPECT_EQ("Exception in registered MiniDumpCallbackRoutine:\nC0000005\n\n", printed);
}

// With a routine registered, DumpCallback passes every call to it unchanged
// (null parameter, the platform's records) and does nothing of its own.
class RegisteredRoutine : public testing::Test {
  protected:
    void SetUp() override { g_calls = 0; }
};

TEST_F(RegisteredRoutine, TakesOverEveryCallWhateverMiniPlusSays) {
    RegionMap map;
    DumpCallbackContext context = {&map, 1, Recording};
    const ULONG types[] = {ModuleCallback, ThreadCallback, MemoryCallback,
                           ReadMemoryFailureCallback};
    for (ULONG type : types) {
        SCOPED_TRACE(type);
        MINIDUMP_CALLBACK_INPUT input = Input(type);
        MINIDUMP_CALLBACK_OUTPUT output = {};
        SetCallbackStatus(&output, E_FAIL);
        g_lastParam = reinterpret_cast<void*>(1);
        BOOL result = DumpCallback(&context, &input, &output);
        EXPECT_EQ(type == ThreadCallback ? FALSE : TRUE, result);
        EXPECT_EQ(nullptr, g_lastParam);
        EXPECT_EQ(type, g_lastType);
        if (type == MemoryCallback) {
            EXPECT_EQ(0xABCDu, output.MemoryBase);
        } else {
            EXPECT_EQ(E_FAIL, CallbackStatus(&output));  // not answered by us
        }
        EXPECT_TRUE(map.empty());  // no scan of our own
    }
    EXPECT_EQ(4, g_calls);
}

}  // namespace
