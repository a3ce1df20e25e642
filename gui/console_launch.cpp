#include "gui/console_launch.h"

#include <shlwapi.h>

#include <vector>

namespace {

// Joins folder and name the way the shell does; false when it would not fit
// into a path buffer.
bool AppendComponent(wchar_t (&path)[MAX_PATH], const wchar_t* name) {
    return PathAppendW(path, name) != FALSE;
}

}  // namespace

bool InterpreterPath(std::wstring* path) {
    wchar_t system[MAX_PATH] = {};
    UINT length = GetSystemDirectoryW(system, ARRAYSIZE(system));
    if (length == 0 || length >= ARRAYSIZE(system) || !AppendComponent(system, L"cmd.exe")) {
        return false;
    }
    *path = system;
    return true;
}

bool LaunchInterpreter(const std::wstring& interpreterPath, const std::wstring& commandLine,
                       UniqueHandle* process) {
    // CreateProcessW may write into the command line, so it gets a copy it owns.
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(interpreterPath.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &started)) {
        return false;
    }
    CloseHandle(started.hThread);
    process->Reset(started.hProcess);
    return true;
}

bool ConsoleStillOpen(UniqueHandle* process) {
    if (!*process) {
        return false;
    }
    if (WaitForSingleObject(process->Get(), 0) == WAIT_OBJECT_0) {
        process->Reset();
        return false;
    }
    return true;
}
