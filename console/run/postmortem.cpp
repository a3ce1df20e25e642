#include "console/run/postmortem.h"

#include "common/bounded_text.h"
#include "common/console_output.h"
#include "common/unique_resource.h"
#include "console/run/aedebug_key.h"
#include "console/run/windows_version.h"
#include "console/run/x64_handover.h"

namespace {

LONG SetStringValue(HKEY key, const wchar_t* name, const wchar_t* data) {
    DWORD bytes = static_cast<DWORD>((wcslen(data) + 1) * sizeof(wchar_t));
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), bytes);
}

LONG WriteView(const AeDebugView& view, const wchar_t* commandLine) {
    UniqueRegistryKey key;
    LONG status = OpenAeDebugKey(view, key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    // What stands there is kept for -iu, unless it is a registration of ours:
    // registering twice must keep the original.
    if (!HoldsOurDebugger(key.Get())) {
        status = SaveReplacedValues(key.Get(), view);
        if (status != ERROR_SUCCESS) {
            return status;
        }
    }
    status = SetStringValue(key.Get(), L"Auto", L"1");
    if (status != ERROR_SUCCESS) {
        PrintWide(L"Failed to set:\n  %s\\Auto\n", view.shownKey);
        return status;
    }
    status = SetStringValue(key.Get(), L"Debugger", commandLine);
    if (status != ERROR_SUCCESS) {
        PrintWide(L"Failed to set:\n  %s\\Debugger\n", view.shownKey);
        return status;
    }
    PrintWide(L"Set:\n  %s\n    (REG_SZ) Auto     = 1\n    (REG_SZ) Debugger = %s\n\n",
              view.shownKey, commandLine);
    return ERROR_SUCCESS;
}

}  // namespace

bool BuildDebuggerCommandLine(const PostmortemChoice& choice, wchar_t* out) {
    constexpr size_t capacity = kDebuggerCommandCapacity;
    out[0] = L'\0';
    bool fits = AppendBounded(out, capacity, L"\"") &&
                AppendBounded(out, capacity, choice.programPath) &&
                AppendBounded(out, capacity, L"\"");
    if (choice.fullMemory) {
        fits = fits && AppendBounded(out, capacity, L" -ma");
    } else if (choice.miniPlus) {
        fits = fits && AppendBounded(out, capacity, L" -mp");
    } else if (choice.userLibrary) {
        fits = fits && AppendBounded(out, capacity, L" -d \"") &&
               AppendBounded(out, capacity, choice.libraryPath) &&
               AppendBounded(out, capacity, L"\"");
    }
    fits = fits && AppendBounded(out, capacity, L" -j \"") &&
           AppendBounded(out, capacity, choice.dumpPath) &&
           AppendBounded(out, capacity,
                         choice.windowsMajorVersion >= 6 ? L"\" %ld %ld %p" : L"\" %ld %ld 0");
    if (!fits) {
        out[0] = L'\0';
    }
    return fits;
}

LONG RegisterPostmortemDebugger(const wchar_t* dumpPath, bool fullMemory, bool miniPlus,
                                bool userLibrary, const wchar_t* libraryPath) {
    wchar_t programPath[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, programPath, MAX_PATH);
    static wchar_t commandLine[kDebuggerCommandCapacity];
    PostmortemChoice choice = {programPath,
                               fullMemory,
                               miniPlus,
                               userLibrary,
                               libraryPath,
                               dumpPath,
                               QueryWindowsVersion().dwMajorVersion};
    if (length == 0 || length >= MAX_PATH || !BuildDebuggerCommandLine(choice, commandLine)) {
        // A shortened line would start a different program or write a
        // different file when a process crashes.
        PrintWide(
            L"The postmortem debugger command line would be too long (at most %d characters); "
            L"nothing was registered.\n",
            static_cast<int>(kDebuggerCommandCapacity - 1));
        return ERROR_INSUFFICIENT_BUFFER;
    }
    LONG status = WriteView(kAeDebugView64, commandLine);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (!IsWow64(GetCurrentProcess())) {
        return ERROR_SUCCESS;
    }
    return WriteView(kAeDebugView32, commandLine);
}
