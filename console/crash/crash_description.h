// The crash report of a dump: the reason from the exception the dump was
// written for (or the hung window), the stack from the live thread.
#pragma once

#include <windows.h>

#include <cstdint>

#include "console/crash/crash_report.h"

struct CrashSubject {
    HANDLE process;
    uint32_t threadId;
    // Both in this process's memory. The exception is null for a hung
    // window; the context may be null (see StackSource).
    const EXCEPTION_RECORD* exception;
    const CONTEXT* context;
};

// Reads the target while it is still there: call it after the dump is
// written and before the exception's thread is let go.
CrashReport DescribeCrash(const CrashSubject& subject);
