#include <windows.h>

#include "console/report/error_report.h"

#include "common/console_output.h"
#include "common/optional_export.h"
#include "common/unique_resource.h"

#include <cwctype>

namespace {

constexpr DWORD kUserDefaultLanguage = 0x400;

// Prints the caption with the message text of the given source, or with a
// fallback that names the code when the source has no text for it.
void ReportWithMessage(const wchar_t* caption, DWORD flags, HMODULE source, DWORD messageId) {
    wchar_t* text = nullptr;
    DWORD length =
        FormatMessageW(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, source, messageId,
                       kUserDefaultLanguage, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    UniqueLocalMemory owner(text);
    if (length == 0 || text == nullptr) {
        PrintWide(L"%s: error 0x%08X (no message text available)\n", caption,
                  static_cast<unsigned>(messageId));
        return;
    }
    PrintWide(L"%s: %s\n", caption, text);
}

}  // namespace

std::wstring SystemMessageText(uint32_t error) {
    wchar_t* text = nullptr;
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, error,
                       kUserDefaultLanguage, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    UniqueLocalMemory owner(text);
    wchar_t fallback[48];
    if (length == 0 || text == nullptr) {
        _snwprintf(fallback, ARRAYSIZE(fallback), L"error 0x%08X", static_cast<unsigned>(error));
        fallback[ARRAYSIZE(fallback) - 1] = L'\0';
        return fallback;
    }
    std::wstring message(text, length);
    while (!message.empty() && iswspace(message.back())) {
        message.pop_back();
    }
    return message;
}

void ReportPdhError(const wchar_t* caption, uint32_t status) {
    ReportWithMessage(caption, FORMAT_MESSAGE_FROM_HMODULE, GetModuleHandleW(L"pdh.dll"), status);
}

void ReportWin32Error(const wchar_t* caption, uint32_t error) {
    ReportWithMessage(caption, FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error);
}

NtStatusConverter NtStatusToDosErrorConverter() {
    // Looked up at every need (only failures need it): a function-local
    // static would bring the runtime's guarded initialisation, and with it
    // its condition variables, into the program.
    return LookUpExport<NtStatusConverter>(L"ntdll.dll", "RtlNtStatusToDosError");
}

void ReportNtStatus(const wchar_t* caption, int32_t status) {
    NtStatusConverter convert = NtStatusToDosErrorConverter();
    if (convert == nullptr) {
        return;
    }
    ReportWin32Error(caption, static_cast<uint32_t>(convert(status)));
}
