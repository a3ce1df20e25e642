#include "console/monitors/exception_decision.h"

#include <windows.h>
#include <shlwapi.h>

#include "console/report/error_report.h"

bool FilterMatches(const wchar_t* filter, const wchar_t* name) {
    if (filter == nullptr || filter[0] == L'\0') {
        return false;
    }
    return StrStrIW(name, filter) != nullptr;
}

ExceptionDecision DecideException(const ExceptionOptions& options, const ExceptionFacts& facts) {
    ExceptionDecision decision{ExceptionAction::PassOn, false, false};
    const bool breakpoint = facts.code == kBreakpointCode;

    // The system raises one breakpoint when a debugger attaches; it is never
    // the target's own doing, whatever the options say.
    if (!facts.initialBreakpointSeen && facts.firstChance && breakpoint) {
        decision.isInitialBreakpoint = true;
        return decision;
    }
    if (!options.exceptionMonitor) {
        return decision;
    }
    if (options.filterEnabled) {
        decision.showFilterLine = true;
        if (facts.firstChance && !FilterMatches(options.filter, ExceptionName(facts.code))) {
            return decision;
        }
    }
    if (breakpoint && !options.breakOnBreakpoints) {
        // A second-chance breakpoint means nobody in the target handled it;
        // stepping over it lets the target run on instead of dying.
        if (!facts.firstChance) {
            decision.action = ExceptionAction::StepOver;
        }
        return decision;
    }
    if (facts.firstChance && !options.firstChance) {
        return decision;
    }
    decision.action = ExceptionAction::Dump;
    return decision;
}
