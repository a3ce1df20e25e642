#include "console/crash/crash_signature.h"

#include <cwchar>

#include "common/utf8_text.h"

namespace {

constexpr size_t kSignatureFrames = 3;

// clang-format off
const wchar_t* const kSystemModules[] = {
    L"ntdll.dll", L"kernel32.dll", L"kernelbase.dll", L"user32.dll", L"win32u.dll",
    L"gdi32.dll", L"gdi32full.dll", L"combase.dll", L"ole32.dll", L"oleaut32.dll",
    L"rpcrt4.dll", L"sechost.dll", L"advapi32.dll", L"shell32.dll", L"shlwapi.dll",
    L"shcore.dll", L"comctl32.dll", L"uxtheme.dll", L"imm32.dll", L"ws2_32.dll",
    L"mswsock.dll", L"wow64.dll", L"wow64win.dll", L"wow64cpu.dll",
};
// The C and C++ runtimes, in every version and build.
const wchar_t* const kSystemPrefixes[] = {
    L"api-ms-win-", L"ext-ms-", L"msvcr", L"msvcp", L"vcruntime", L"ucrtbase", L"concrt",
    L"libstdc++", L"libgcc_s", L"libwinpthread",
};
// clang-format on

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return text;
}

std::string SignatureFrame(const StackFrame& frame) {
    StackFrame lowered = frame;
    lowered.module = Lower(frame.module);
    return Utf8FromWide(FrameText(lowered, true).c_str());
}

// The reason as it stays from run to run: without the address it touched.
std::string StableReason(const CrashReport& report) {
    CrashReport withoutAddress = report;
    withoutAddress.reason.address.reset();
    return Utf8FromWide(ReasonText(withoutAddress).c_str());
}

}  // namespace

bool IsSystemModule(const std::wstring& fileName) {
    const std::wstring name = Lower(fileName);
    for (const wchar_t* system : kSystemModules) {
        if (name == system) {
            return true;
        }
    }
    for (const wchar_t* prefix : kSystemPrefixes) {
        if (name.compare(0, wcslen(prefix), prefix) == 0) {
            return true;
        }
    }
    return false;
}

std::string CrashSignature(const CrashReport& report) {
    std::string signature;
    size_t taken = 0;
    for (const StackFrame& frame : report.frames) {
        if (taken < kSignatureFrames && !frame.module.empty() && !IsSystemModule(frame.module)) {
            signature += SignatureFrame(frame) + " | ";
            ++taken;
        }
    }
    if (taken == 0) {
        for (const StackFrame& frame : report.frames) {
            if (!frame.module.empty()) {
                signature = SignatureFrame(frame) + " | ";
                break;
            }
        }
    }
    if (signature.empty()) {
        signature = "? | ";
    }
    return signature + StableReason(report);
}
