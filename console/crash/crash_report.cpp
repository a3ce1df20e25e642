#include "console/crash/crash_report.h"

#include "common/bounded_text.h"

namespace {

std::wstring Hex(uint64_t value, int digits) {
    wchar_t text[24];
    FormatBounded(text, 24, L"0x%0*I64x", digits, static_cast<unsigned long long>(value));
    return text;
}

// Padded to the target's width, so that addresses line up and read as such.
std::wstring Address(uint64_t value, bool wide) {
    return Hex(value, wide ? 16 : 8);
}

}  // namespace

std::wstring ReasonText(const CrashReport& report) {
    const CrashReason& reason = report.reason;
    std::wstring text = reason.what;
    if (reason.address) {
        text += L" " + Address(*reason.address, report.wideAddresses);
    }
    if (reason.status) {
        wchar_t status[32];
        FormatBounded(status, 32, L" (status 0x%08X)", *reason.status);
        text += status;
    }
    return text;
}

std::wstring FrameText(const StackFrame& frame, bool wideAddresses) {
    if (frame.module.empty()) {
        return Address(frame.address, wideAddresses);
    }
    wchar_t offset[24];
    FormatBounded(offset, 24, L"+0x%I64x", static_cast<unsigned long long>(frame.offset));
    return frame.module + offset;
}

const wchar_t* StackEndText(StackEnd end) {
    switch (end) {
        case StackEnd::kComplete:
            return nullptr;
        case StackEnd::kFrameLimit:
            return L"the first 32 frames are shown";
        case StackEnd::kTimeLimit:
            return L"the walk took too long";
        case StackEnd::kNoUnwindData:
            return L"no unwind data for the code of the last frame";
        case StackEnd::kLoop:
            return L"the next frame did not lie further up the stack";
        case StackEnd::kUnreadable:
            return L"the stack could not be read any further";
        case StackEnd::kProcessEnded:
            return L"the process has ended";
        case StackEnd::kNoContext:
            return L"the thread's context could not be read";
    }
    return nullptr;
}

std::wstring CrashLines(const CrashReport& report) {
    std::wstring lines = report.reason.hung ? L"Hung: " : L"Crash: ";
    lines += ReasonText(report);
    if (!report.frames.empty()) {
        lines += L" in " + FrameText(report.frames.front(), report.wideAddresses);
    }
    lines += L"\n";
    for (const StackFrame& frame : report.frames) {
        lines += L"  at " + FrameText(frame, report.wideAddresses);
        if (frame.found == FrameFound::kFramePointer) {
            lines += L" (frame pointer)";
        }
        lines += L"\n";
    }
    if (const wchar_t* why = StackEndText(report.end)) {
        lines += L"  (stack cut short: " + std::wstring(why) + L")\n";
    }
    return lines;
}
