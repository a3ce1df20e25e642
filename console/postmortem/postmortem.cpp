#include "console/postmortem/postmortem.h"

#include "common/bounded_text.h"
#include "common/console_output.h"
#include "common/http_url.h"
#include "common/unique_resource.h"
#include "common/windows_version.h"
#include "common/wow64.h"
#include "console/postmortem/aedebug_key.h"
#include "console/postmortem/registered_line.h"

namespace {

LONG SetStringValue(HKEY key, const wchar_t* name, const wchar_t* data) {
    DWORD bytes = static_cast<DWORD>((wcslen(data) + 1) * sizeof(wchar_t));
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), bytes);
}

// The registered line as it is printed: values that may hold a key are
// shown without it.
struct DebuggerLine {
    const wchar_t* registered;
    const wchar_t* shown;
};

LONG WriteView(const AeDebugView& view, const DebuggerLine& line) {
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
    // The debugger first: were "Auto" set first and the debugger's write
    // then failed, the debugger registered before (another one) would start
    // for every crash without asking.
    status = SetStringValue(key.Get(), L"Debugger", line.registered);
    if (status != ERROR_SUCCESS) {
        PrintWide(L"Failed to set:\n  %s\\Debugger\n", view.shownKey);
        return status;
    }
    status = SetStringValue(key.Get(), L"Auto", L"1");
    if (status != ERROR_SUCCESS) {
        PrintWide(L"Failed to set:\n  %s\\Auto\n", view.shownKey);
        return status;
    }
    PrintWide(L"Set:\n  %s\n    (REG_SZ) Auto     = 1\n    (REG_SZ) Debugger = %s\n\n",
              view.shownKey, line.shown);
    return ERROR_SUCCESS;
}

// A path as the registration carries it: full, so that a process crashing
// with another working folder finds the same files. False when the full
// path would not fit a path buffer.
bool FullPath(const wchar_t* path, std::wstring* full) {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetFullPathNameW(path, MAX_PATH, buffer, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    full->assign(buffer, length);
    return true;
}

// Every path the registration carries, made full; false (reported) when one
// would be too long.
bool MakePathsFull(RegisteredLine* line) {
    for (std::wstring* path : {&line->dumpPath, &line->logPath, &line->libraryPath}) {
        if (!path->empty() && !FullPath(path->c_str(), path)) {
            PrintWide(
                L"The full path of %s is too long (at most %d characters); nothing was "
                L"registered.\n",
                path->c_str(), static_cast<int>(MAX_PATH - 1));
            return false;
        }
    }
    return true;
}

// What -i registers, from the scanned options.
RegisteredLine RegisteredLineFor(const ScannedOptions& options, const wchar_t* programPath) {
    RegisteredLine line;
    line.programPath = programPath;
    if (options.fullMemory) {
        line.content = RegisteredContent::kFullMemory;
    } else if (options.settings.miniPlus != 0) {
        line.content = RegisteredContent::kMiniPlus;
    } else if (options.userLibrary) {
        line.content = RegisteredContent::kUserLibrary;
        line.libraryPath = options.userLibraryPath;
    }
    line.keepFiles = options.settings.keepFiles;
    line.freeMB = options.settings.freeMB;
    line.metadata = options.settings.metadata != 0;
    line.ratePerHour = options.settings.ratePerHour;
    if (options.logPath != nullptr) {
        line.logPath = options.logPath;
    }
    if (options.settings.uploadUrl != nullptr) {
        line.uploadUrl = options.settings.uploadUrl;
    }
    line.dumpPath = options.dumpPath;
    line.debugInfoAddress = QueryWindowsVersion().dwMajorVersion >= 6;
    return line;
}

}  // namespace

LONG RegisterPostmortemDebugger(const ScannedOptions& options) {
    wchar_t programPath[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, programPath, MAX_PATH);
    static wchar_t commandLine[kDebuggerCommandCapacity];
    static wchar_t shownLine[kDebuggerCommandCapacity];
    RegisteredLine line = RegisteredLineFor(options, programPath);
    if (!MakePathsFull(&line)) {
        return ERROR_BUFFER_OVERFLOW;
    }
    if (length == 0 || length >= MAX_PATH || !BuildDebuggerCommandLine(line, commandLine)) {
        // A shortened line would start a different program or write a
        // different file when a process crashes.
        PrintWide(
            L"The postmortem debugger command line would be too long (at most %d characters); "
            L"nothing was registered.\n",
            static_cast<int>(kDebuggerCommandCapacity - 1));
        return ERROR_INSUFFICIENT_BUFFER;
    }
    line.uploadUrl = ShownUrlText(line.uploadUrl);
    // No longer than the registered line, so it fits.
    BuildDebuggerCommandLine(line, shownLine);
    const DebuggerLine lines = {commandLine, shownLine};
    LONG status = WriteView(kAeDebugView64, lines);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (!IsWow64(GetCurrentProcess())) {
        return ERROR_SUCCESS;
    }
    return WriteView(kAeDebugView32, lines);
}
