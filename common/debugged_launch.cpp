#include "common/debugged_launch.h"

DebuggedLaunch LaunchUnderDebugger(const wchar_t* image, wchar_t* arguments) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created = {};
    DebuggedLaunch launch = {};
    if (!CreateProcessW(image, arguments, nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr,
                        nullptr, &startup, &created)) {
        launch.error = GetLastError();
        return launch;
    }
    UniqueHandle thread(created.hThread);
    launch.started = true;
    launch.process.Reset(created.hProcess);
    launch.processId = created.dwProcessId;
    return launch;
}
