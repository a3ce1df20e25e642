// Walks one thread's stack in a live process with the platform's stack
// walker: on a 64-bit target by the modules' unwind tables, on a 32-bit one
// by frame pointers and whatever unwind data the walker reads itself.
#pragma once

#include <windows.h>

#include <cstdint>

#include "console/crash/crash_report.h"

// How long a walk may take, frame by frame.
constexpr DWORD kStackWalkMilliseconds = 3000;

struct StackSource {
    HANDLE process;
    uint32_t threadId;
    // The thread's context at the exception, in this build's own layout, or
    // null: the thread's context is then read while it is held still. Not
    // used for a 32-bit target of the 64-bit build, whose 32-bit context is
    // always read from the thread.
    const CONTEXT* context;
    // Where the exception happened, the first frame when no context can be
    // read; 0 for none.
    uint64_t exceptionAddress;
};

// Fills report's frames, their address width and why the walk ended. Never
// fails and never waits: a thread or process that has gone, or memory that
// cannot be read, ends the walk with the frames found so far.
void WalkStack(const StackSource& source, CrashReport* report);
