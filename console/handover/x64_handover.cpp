#include "console/handover/x64_handover.h"

#include <vector>

#include "common/console_output.h"
#include "common/extracted_program.h"
#include "common/optional_export.h"
#include "common/wow64.h"
#include "console/report/error_report.h"

namespace {

using DisableRedirectionFunction = BOOL(WINAPI*)(void**);

constexpr int kX64ImageResource = 101;

// Put into the environment that the 64-bit build inherits from the 32-bit
// build. The 32-bit build has registered -i in both registry views before it
// hands the run over; the 64-bit build must not register its own image over
// it, since that image is deleted when the run ends.
constexpr wchar_t kHandOverVariable[] = L"VARNHOLD_HANDED_OVER";

#ifndef _WIN64
bool RunsUnderWow64() {
    return IsWow64(GetCurrentProcess());
}
#endif

int ReportExtractionFailure() {
    PrintWide(L"Unable to extract x64 image. Run varnhold from a writeable directory.\n");
    // Nothing was monitored: a script must not take this for success.
    return 1;
}

}  // namespace

HandOverDecision DecideX64HandOver(const ScannedOptions& options, uint32_t targetId,
                                   EventLog& log) {
    HandOverDecision decision = {false, 0, UniqueHandle()};
#ifdef _WIN64
    (void)options;
    (void)targetId;
    (void)log;
#else
    auto disableRedirection =
        LookUpExport<DisableRedirectionFunction>(L"kernel32.dll", "Wow64DisableWow64FsRedirection");
    if (disableRedirection != nullptr) {
        void* redirectionState = nullptr;  // redirection stays off for the whole run
        disableRedirection(&redirectionState);
    }
    if (!RunsUnderWow64()) {
        return decision;
    }
    if (options.force64) {
        decision.endRun = true;
        decision.exitCode = RelaunchAs64Bit(log);
        return decision;
    }
    if (options.launch) {
        return decision;
    }
    UniqueHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, targetId));
    if (!process) {
        ReportWin32Error(L"Failed to open process", GetLastError());
        decision.endRun = true;
        decision.exitCode = 1;
        return decision;
    }
    if (IsWow64(process.Get())) {
        decision.process = std::move(process);
        return decision;
    }
    process.Reset();
    decision.endRun = true;
    decision.exitCode = RelaunchAs64Bit(log, HandOverPassesHandles(options));
#endif
    return decision;
}

bool LaunchFailureNeedsX64Build(uint32_t error) {
#ifdef _WIN64
    (void)error;
    return false;
#else
    return error == ERROR_NOT_SUPPORTED && RunsUnderWow64();
#endif
}

bool LaunchedImageNeedsX64Build(HANDLE process) {
#ifdef _WIN64
    (void)process;
    return false;
#else
    // Windows refuses to start a 64-bit image for a 32-bit debugger; some
    // platforms start it, and every dump of it would then fail.
    return RunsUnderWow64() && !IsWow64(process);
#endif
}

bool HandOverPassesHandles(const ScannedOptions& options) {
    return options.settings.jitMode != 0 && options.settings.uploadUrl != nullptr;
}

int RelaunchAs64Bit(EventLog& log, bool passHandles) {
    // A file of this run's own: 32-bit runs started at the same moment from
    // one folder (crashes of several 64-bit programs at once) each run and
    // delete their own copy.
    // Where the program's own folder cannot be written (a 32-bit build
    // installed for all users, a normal user's crash), the user's temporary
    // folder is the next place.
    std::wstring folder;
    ExtractedProgram image;
    const bool extracted =
        (OwnProgramFolder(&folder) && image.Extract(kX64ImageResource, folder, L"varnhold64")) ||
        (UserTempFolder(&folder) && image.Extract(kX64ImageResource, folder, L"varnhold64"));
    if (!extracted) {
        return ReportExtractionFailure();
    }
    const wchar_t* ownCommandLine = GetCommandLineW();
    std::vector<wchar_t> commandLine(ownCommandLine, ownCommandLine + wcslen(ownCommandLine) + 1);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child = {};
    log.Close();
    SetEnvironmentVariableW(kHandOverVariable, L"1");
    const BOOL started =
        CreateProcessW(image.Path().c_str(), commandLine.data(), nullptr, nullptr,
                       passHandles ? TRUE : FALSE, 0, nullptr, nullptr, &startup, &child);
    const DWORD error = GetLastError();
    SetEnvironmentVariableW(kHandOverVariable, nullptr);
    if (!started) {
        image.Remove();
        ReportWin32Error(L"Failed to create process", error);
        return 1;
    }
    UniqueHandle process(child.hProcess);
    UniqueHandle thread(child.hThread);
    WaitForSingleObject(process.Get(), INFINITE);
    DWORD exitCode = 1;
    // The run's outcome is the 64-bit build's; a script relies on it.
    if (!GetExitCodeProcess(process.Get(), &exitCode)) {
        exitCode = 1;
    }
    return static_cast<int>(exitCode);
}

bool TakeHandOverMark() {
#ifdef _WIN64
    wchar_t value[2];
    if (GetEnvironmentVariableW(kHandOverVariable, value, 2) == 0) {
        return false;
    }
    SetEnvironmentVariableW(kHandOverVariable, nullptr);
    return true;
#else
    return false;
#endif
}
