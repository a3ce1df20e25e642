#include "console/crash/crash_reason.h"

#include <cwchar>

#include "common/bounded_text.h"
#include "console/report/error_report.h"

namespace {

constexpr uint32_t kAccessViolation = 0xC0000005;
constexpr uint32_t kInPageError = 0xC0000006;

// The first parameter of both records says what the access was.
const wchar_t* AccessKind(uint64_t kind) {
    switch (kind) {
        case 0:
            return L"reading";
        case 1:
            return L"writing";
        case 8:
            return L"executing";
        default:
            return nullptr;
    }
}

}  // namespace

CrashReason ReasonOfException(uint32_t code, const uint64_t* parameters, uint32_t count) {
    CrashReason reason;
    const wchar_t* name = ExceptionName(code);
    // Code 0 is in no table: its name is the one every unknown code shares,
    // which alone would group all of them as one.
    wchar_t unknown[40];
    if (wcscmp(name, ExceptionName(0)) == 0 &&
        FormatBounded(unknown, 40, L"%s 0x%08X", name, code)) {
        name = unknown;
    }
    reason.what = name;
    const bool touchesMemory = code == kAccessViolation || code == kInPageError;
    if (!touchesMemory || count < 2) {
        return reason;
    }
    if (const wchar_t* kind = AccessKind(parameters[0])) {
        reason.what += L" ";
        reason.what += kind;
    }
    reason.address = parameters[1];
    if (code == kInPageError && count >= 3) {
        reason.status = static_cast<uint32_t>(parameters[2]);
    }
    return reason;
}

CrashReason ReasonOfHungWindow() {
    CrashReason reason;
    reason.hung = true;
    reason.what = L"window not responding";
    return reason;
}
