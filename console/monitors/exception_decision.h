// What the debug-event thread does with one exception event, decided from the
// run's exception options and the facts of the event alone, so that the
// whole rule can be checked without a debugged process.
#pragma once

#include <cstdint>

constexpr uint32_t kBreakpointCode = 0x80000003;

struct ExceptionOptions {
    bool exceptionMonitor;
    bool filterEnabled;
    const wchar_t* filter;  // may be null or empty
    bool breakOnBreakpoints;
    bool firstChance;
};

struct ExceptionFacts {
    uint32_t code;
    bool firstChance;
    bool initialBreakpointSeen;
};

enum class ExceptionAction {
    PassOn,    // continue with DBG_EXCEPTION_NOT_HANDLED
    StepOver,  // skip the one-byte breakpoint instruction, continue with DBG_CONTINUE
    Dump,      // print the exception line, write the dumps, terminate the target
};

struct ExceptionDecision {
    ExceptionAction action;
    // This event is the breakpoint the system raises on attach; the thread
    // remembers that it has seen it.
    bool isInitialBreakpoint;
    // Print the "(1st)"/"(2nd)" line of the filter display.
    bool showFilterLine;
};

ExceptionDecision DecideException(const ExceptionOptions& options, const ExceptionFacts& facts);

// True when the filter text occurs in the name without regard to case. An
// empty filter matches nothing.
bool FilterMatches(const wchar_t* filter, const wchar_t* name);
