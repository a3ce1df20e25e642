#include "console/monitors/exception_decision.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kAccessViolation = 0xC0000005;
constexpr uint32_t kDivideByZero = 0xC0000094;

constexpr bool kFirst = true;
constexpr bool kSecond = false;
constexpr bool kSeen = true;
constexpr bool kNotSeen = false;

ExceptionOptions Monitor() {
    return ExceptionOptions{true, false, nullptr, false, false};
}
ExceptionOptions WithFirstChance() {
    return ExceptionOptions{true, false, nullptr, false, true};
}
ExceptionOptions Filtered(const wchar_t* filter) {
    return ExceptionOptions{true, true, filter, false, true};
}
ExceptionOptions WithBreakpoints() {
    return ExceptionOptions{true, false, nullptr, true, true};
}
ExceptionOptions WatchOff() {
    return ExceptionOptions{false, false, nullptr, false, false};
}

struct Case {
    const char* behaviour;
    ExceptionOptions options;
    ExceptionFacts facts;
    ExceptionAction action;
    bool initialBreakpoint;
    bool filterLine;
};

const Case kCases[] = {
    {"AttachBreakpointIsSilentEvenWithEveryOption",
     WithBreakpoints(),
     {kBreakpointCode, kFirst, kNotSeen},
     ExceptionAction::PassOn,
     true,
     false},
    {"AttachBreakpointIsSilentUnderAnEmptyFilter",
     Filtered(L""),
     {kBreakpointCode, kFirst, kNotSeen},
     ExceptionAction::PassOn,
     true,
     false},
    {"AttachBreakpointIsRecognisedWithoutExceptionMonitoring",
     WatchOff(),
     {kBreakpointCode, kFirst, kNotSeen},
     ExceptionAction::PassOn,
     true,
     false},
    {"AnExceptionBeforeTheAttachBreakpointDoesNotTakeItsPlace",
     WithFirstChance(),
     {kAccessViolation, kFirst, kNotSeen},
     ExceptionAction::Dump,
     false,
     false},
    {"LaterBreakpointWithBreakOptionIsDumpedAsFirstChance",
     WithBreakpoints(),
     {kBreakpointCode, kFirst, kSeen},
     ExceptionAction::Dump,
     false,
     false},
    {"WithoutExceptionMonitoringEverythingPassesOn",
     WatchOff(),
     {kAccessViolation, kSecond, kSeen},
     ExceptionAction::PassOn,
     false,
     false},
    {"FirstChancePassesSilentlyWithoutTheFirstChanceOption",
     Monitor(),
     {kAccessViolation, kFirst, kSeen},
     ExceptionAction::PassOn,
     false,
     false},
    {"UnhandledExceptionIsDumped",
     Monitor(),
     {kAccessViolation, kSecond, kSeen},
     ExceptionAction::Dump,
     false,
     false},
    {"FirstChanceIsDumpedWithTheFirstChanceOption",
     WithFirstChance(),
     {kAccessViolation, kFirst, kSeen},
     ExceptionAction::Dump,
     false,
     false},
    {"HandledBreakpointPassesOnWithoutBreakOption",
     WithFirstChance(),
     {kBreakpointCode, kFirst, kSeen},
     ExceptionAction::PassOn,
     false,
     false},
    {"UnhandledBreakpointIsSteppedOverWithoutBreakOption",
     Monitor(),
     {kBreakpointCode, kSecond, kSeen},
     ExceptionAction::StepOver,
     false,
     false},
    {"UnhandledBreakpointIsDumpedWithBreakOption",
     WithBreakpoints(),
     {kBreakpointCode, kSecond, kSeen},
     ExceptionAction::Dump,
     false,
     false},
    {"EmptyFilterShowsFirstChanceWithoutDumping",
     Filtered(L""),
     {kAccessViolation, kFirst, kSeen},
     ExceptionAction::PassOn,
     false,
     true},
    {"EmptyFilterStillDumpsUnhandled",
     Filtered(L""),
     {kAccessViolation, kSecond, kSeen},
     ExceptionAction::Dump,
     false,
     true},
    {"EmptyFilterShowsAndStepsOverUnhandledBreakpoint",
     Filtered(L""),
     {kBreakpointCode, kSecond, kSeen},
     ExceptionAction::StepOver,
     false,
     true},
    {"MatchingFilterShowsAndDumps",
     Filtered(L"aCCess"),
     {kAccessViolation, kFirst, kSeen},
     ExceptionAction::Dump,
     false,
     true},
    {"FilterNotInTheNameShowsOnly",
     Filtered(L"aCCess"),
     {kDivideByZero, kFirst, kSeen},
     ExceptionAction::PassOn,
     false,
     true},
    {"HexadecimalCodeIsNotSearched",
     Filtered(L"C0000005"),
     {kAccessViolation, kFirst, kSeen},
     ExceptionAction::PassOn,
     false,
     true},
    {"AsteriskIsNoWildcard",
     Filtered(L"*"),
     {kAccessViolation, kFirst, kSeen},
     ExceptionAction::PassOn,
     false,
     true},
    {"MatchingFilterDoesNotDumpAHandledBreakpointWithoutBreakOption",
     Filtered(L"break"),
     {kBreakpointCode, kFirst, kSeen},
     ExceptionAction::PassOn,
     false,
     true},
};

TEST(ExceptionDecision, FollowsTheOptionsInOrder) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.behaviour);
        ExceptionDecision decision = DecideException(c.options, c.facts);
        EXPECT_EQ(decision.action, c.action);
        EXPECT_EQ(decision.isInitialBreakpoint, c.initialBreakpoint);
        EXPECT_EQ(decision.showFilterLine, c.filterLine);
    }
}

TEST(ExceptionFilter, IsACaseInsensitiveSubstringOfTheName) {
    EXPECT_TRUE(FilterMatches(L"access", L"ACCESS_VIOLATION"));
    EXPECT_TRUE(FilterMatches(L"_VIOL", L"ACCESS_VIOLATION"));
    EXPECT_TRUE(FilterMatches(L"ACCESS_VIOLATION", L"ACCESS_VIOLATION"));
    EXPECT_FALSE(FilterMatches(L"ACCESS_VIOLATIONS", L"ACCESS_VIOLATION"));
    EXPECT_FALSE(FilterMatches(L"", L"ACCESS_VIOLATION"));
    EXPECT_FALSE(FilterMatches(nullptr, L"ACCESS_VIOLATION"));
}

}  // namespace
