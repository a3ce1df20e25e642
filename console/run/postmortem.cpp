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

// Appends the path in double quotes. Backslashes just before a closing quote
// would escape it when the command line is read, so those are doubled.
bool AppendQuoted(wchar_t* out, size_t capacity, const wchar_t* path) {
    size_t trailing = 0;
    for (size_t length = wcslen(path); length > 0 && path[length - 1] == L'\\'; --length) {
        ++trailing;
    }
    if (!AppendBounded(out, capacity, L"\"") || !AppendBounded(out, capacity, path)) {
        return false;
    }
    for (size_t i = 0; i < trailing; ++i) {
        if (!AppendBounded(out, capacity, L"\\")) {
            return false;
        }
    }
    return AppendBounded(out, capacity, L"\"");
}

bool AppendBounds(wchar_t* out, size_t capacity, const PostmortemChoice& choice) {
    const struct {
        const wchar_t* format;
        uint32_t value;
    } numbers[] = {{L" -keep %u", choice.keepFiles}, {L" -free %u", choice.freeMB}};
    for (const auto& number : numbers) {
        wchar_t option[32];
        if (number.value != 0 &&
            (!FormatBounded(option, ARRAYSIZE(option), number.format, number.value) ||
             !AppendBounded(out, capacity, option))) {
            return false;
        }
    }
    return !choice.metadata || AppendBounded(out, capacity, L" -meta");
}

}  // namespace

bool BuildDebuggerCommandLine(const PostmortemChoice& choice, wchar_t* out) {
    constexpr size_t capacity = kDebuggerCommandCapacity;
    out[0] = L'\0';
    bool fits = AppendQuoted(out, capacity, choice.programPath);
    if (choice.fullMemory) {
        fits = fits && AppendBounded(out, capacity, L" -ma");
    } else if (choice.miniPlus) {
        fits = fits && AppendBounded(out, capacity, L" -mp");
    } else if (choice.userLibrary) {
        fits = fits && AppendBounded(out, capacity, L" -d ") &&
               AppendQuoted(out, capacity, choice.libraryPath);
    }
    fits = fits && AppendBounds(out, capacity, choice) && AppendBounded(out, capacity, L" -j ") &&
           AppendQuoted(out, capacity, choice.dumpPath) &&
           AppendBounded(out, capacity,
                         choice.windowsMajorVersion >= 6 ? L" %ld %ld %p" : L" %ld %ld 0");
    if (!fits) {
        out[0] = L'\0';
    }
    return fits;
}

LONG RegisterPostmortemDebugger(const ScannedOptions& options) {
    wchar_t programPath[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, programPath, MAX_PATH);
    static wchar_t commandLine[kDebuggerCommandCapacity];
    PostmortemChoice choice = {programPath,
                               options.fullMemory,
                               options.settings.miniPlus != 0,
                               options.userLibrary,
                               options.userLibraryPath,
                               options.dumpPath,
                               QueryWindowsVersion().dwMajorVersion};
    choice.keepFiles = options.settings.keepFiles;
    choice.freeMB = options.settings.freeMB;
    choice.metadata = options.settings.metadata != 0;
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
