#include "console/run/console_run.h"

#include <windows.h>

#include <clocale>
#include <memory>
#include <new>
#include <optional>

#include "common/bounded_text.h"
#include "common/console_output.h"
#include "common/debugged_launch.h"
#include "common/process_wide.h"
#include "common/shown_command_line.h"
#include "common/stop_signal.h"
#include "common/unique_resource.h"
#include "common/wine_platform.h"
#include "console/handover/x64_handover.h"
#include "console/options/config_summary.h"
#include "console/options/default_dump_path.h"
#include "console/dumpfolder/series_files.h"
#include "console/options/dump_type.h"
#include "console/options/option_scan.h"
#include "console/options/usage_text.h"
#include "console/postmortem/postmortem.h"
#include "console/postmortem/postmortem_run.h"
#include "console/report/error_report.h"
#include "console/run/acquisition.h"
#include "console/run/banner.h"
#include "console/run/ctrl_handler.h"
#include "console/run/debug_privilege.h"
#include "console/run/launch.h"
#include "console/run/native_queries.h"
#include "console/run/process_lookup.h"
#include "console/run/run_state.h"
#include "console/run/run_reports.h"
#include "console/run/run_uploads.h"
#include "console/run/scan_environment.h"
#include "console/run/watch_loop.h"
#include "console/run/watch_making.h"

namespace {

// Printing for the scan outcomes that end the run.
StepEnd FinishScan(const ScanOutcome& outcome) {
    switch (outcome.status) {
        case ScanStatus::Run:
            return kRunGoesOn;
        case ScanStatus::ShowUsage:
            PrintUsage();
            return outcome.exitCode;
        case ScanStatus::ShowExamples:
            PrintExamples();
            return kExitSuccess;
        case ScanStatus::UsageError:
            PrintUsage();
            return kExitFailure;
        case ScanStatus::Refused:
            if (outcome.message != nullptr) {
                PrintWide(L"%s", outcome.message);
            }
            return outcome.exitCode;
    }
    return kExitFailure;
}

// A path that ends with a backslash, or an existing directory.
bool NamesAFolder(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return EndsAsFolder(path) ||
           (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
}

// A just-in-time start registered with a dump folder writes a file named
// after the crashing image and process into it.
bool NameJitFolderDump(RunState& run) {
    wchar_t* path = run.options.dumpPath;
    if (!NamesAFolder(path)) {
        return true;
    }
    run.jitFolder = true;
    wchar_t folderPath[MAX_PATH];
    SYSTEMTIME now;
    GetLocalTime(&now);
    if (!CopyBounded(folderPath, MAX_PATH, path) ||
        !BuildJitFolderDumpPath(run.options.dumpPath, folderPath, run.target.processName,
                                run.target.id, now)) {
        ReportWin32Error(L"Failed to create dump file", ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    return true;
}

// -all with a dump folder, or with no dump path: every process gets a path
// of its own, named with its identifier.
void DecidePathPerProcess(RunState& run) {
    const wchar_t* path = run.options.dumpPath;
    if (run.options.settings.allInstances == 0 || (path[0] != L'\0' && !NamesAFolder(path))) {
        return;
    }
    run.pathPerProcess = true;
    CopyBounded(run.dumpFolder, MAX_PATH, path);
}

bool CompleteDumpPath(RunState& run) {
    if (run.options.settings.jitMode != 0 && run.options.dumpPath[0] != L'\0') {
        return NameJitFolderDump(run);
    }
    DecidePathPerProcess(run);
    if (run.options.dumpPath[0] != L'\0') {
        return true;
    }
    wchar_t programDirectory[MAX_PATH];
    SYSTEMTIME now;
    GetLocalTime(&now);
    if (!ProgramDirectory(programDirectory) ||
        !BuildDefaultDumpPath(run.options.dumpPath, programDirectory, run.target.processName,
                              run.target.id, now)) {
        PrintWide(L"The default dump file path would be too long (at most %d characters).\n",
                  static_cast<int>(MAX_PATH - 1));
        return false;
    }
    return true;
}

void FillLaunchedProcessName(RunState& run) {
    if (!FindProcessNameById(run.target.id, run.target.processName, TakeProcessSnapshot())) {
        run.target.processName[0] = L'\0';
    }
}

// The 32-bit build has opened or launched the target for its bitness test
// and keeps the run.
StepEnd TakeHandedOverProcess(RunState& run, HandOverDecision& handOver) {
    ProcessWatch& first = *run.first;
    first.process = std::move(handOver.process);
    if (run.options.launch) {
        run.target.id = GetProcessId(first.process.Get());
        FillLaunchedProcessName(run);
    }
    return kRunGoesOn;
}

// -x with debug-event monitoring: the debug-event thread launches the image.
StepEnd LaunchOnDebugThread(RunState& run) {
    ScannedOptions& options = run.options;
    ProcessWatch& first = *run.first;
    DebugThreadLaunch& launch = first.debugLaunch;
    if (!StartLaunchOnDebugThread(launch, first.monitorRun, options.launchImage,
                                  options.launchArguments)) {
        return kExitFailure;
    }
    first.debugThread.Reset(launch.thread.Release());
    if (!launch.request.succeeded) {
        uint32_t error = launch.request.error;
        launch.thread.Reset(first.debugThread.Release());
        AbandonDebugThreadLaunch(launch, false);
        if (LaunchFailureNeedsX64Build(error)) {
            return RelaunchAs64Bit(run.log);
        }
        ReportWin32Error(L"Failed to create process", error);
        return kExitFailure;
    }
    first.process.Reset(launch.request.process);
    run.target.id = launch.request.processId;
    FillLaunchedProcessName(run);
    if (LaunchedImageNeedsX64Build(first.process.Get())) {
        launch.thread.Reset(first.debugThread.Release());
        AbandonDebugThreadLaunch(launch, true);
        return RelaunchAs64Bit(run.log);
    }
    return kRunGoesOn;
}

// -x without debug-event monitoring: this thread launches the image.
StepEnd LaunchHere(RunState& run) {
    DebuggedLaunch launch =
        LaunchUnderDebugger(run.options.launchImage, run.options.launchArguments);
    if (!launch.started) {
        if (LaunchFailureNeedsX64Build(launch.error)) {
            return RelaunchAs64Bit(run.log);
        }
        ReportWin32Error(L"Failed to create process", launch.error);
        return kExitFailure;
    }
    ProcessWatch& first = *run.first;
    first.process = std::move(launch.process);
    run.target.id = launch.processId;
    FillLaunchedProcessName(run);
    if (LaunchedImageNeedsX64Build(first.process.Get())) {
        TerminateProcess(first.process.Get(), 0);
        DebugActiveProcessStop(run.target.id);
        return RelaunchAs64Bit(run.log);
    }
    return kRunGoesOn;
}

StepEnd OpenTarget(RunState& run) {
    ProcessWatch& first = *run.first;
    first.process.Reset(OpenProcess(PROCESS_ALL_ACCESS, FALSE, run.target.id));
    if (!first.process) {
        ReportWin32Error(L"Failed to open process", GetLastError());
        return kExitFailure;
    }
    return kRunGoesOn;
}

// Opens or launches the target into the run's first watch.
StepEnd ObtainProcess(RunState& run, HandOverDecision& handOver) {
    run.first = NewWatch(run);
    if (!run.first) {
        return kExitFailure;
    }
    if (handOver.process) {
        return TakeHandedOverProcess(run, handOver);
    }
    if (run.options.launch && run.options.settings.debugThread) {
        return LaunchOnDebugThread(run);
    }
    if (run.options.launch) {
        return LaunchHere(run);
    }
    return OpenTarget(run);
}

int RunAfterScan(RunState& run) {
    if (StepEnd ended = RunSendOnly(run)) {
        return *ended;
    }
    if (StepEnd ended = RunPostmortemOnly(run.options, run.handedOver)) {
        return *ended;
    }
    if (!PrepareUploads(run)) {
        return kExitFailure;
    }
    if (!AcquireTarget(run.options, run.target, run.stopSignal.Get())) {
        return kExitFailure;
    }
    if (!CompleteDumpPath(run)) {
        return kExitFailure;
    }
    FillRunPolicy(run);
    // Its failures are reported by it; the run goes on all the same, and
    // ends with exit code 1. After a hand-over the 32-bit build has
    // registered itself already.
    const bool registrationFailed = run.options.install && !run.handedOver &&
                                    RegisterPostmortemDebugger(run.options) != ERROR_SUCCESS;
    const auto withRegistration = [registrationFailed](int exitCode) {
        return registrationFailed ? kExitFailure : exitCode;
    };
    // The 32-bit build may hand the whole run to its 64-bit build here.
    HandOverDecision handOver = DecideX64HandOver(run.options, run.target.id, run.log);
    if (handOver.endRun) {
        return withRegistration(handOver.exitCode);
    }
    if (!ResolveNativeQueries()) {
        return kExitFailure;
    }
    run.options.settings.dumpType =
        AddDebugHelpFlags(run.options.settings.dumpType, DebugHelpExportsEnumDirTree());
    if (!EnableDebugPrivilege()) {
        return kExitFailure;
    }
    if (StepEnd ended = ObtainProcess(run, handOver)) {
        return withRegistration(*ended);
    }
    if (!CompleteWatch(run, *run.first, run.target.id)) {
        return kExitFailure;
    }
    PrintConfigSummary(run.first->config, run.target.processName, run.target.id);
    return withRegistration(FinishUploads(run, WatchProcesses(run)));
}

int RunWithState(RunState& run, int argc, wchar_t** argv) {
    run.stopSignal.Reset(CreateStopSignal());
    run.watchEnded.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!run.stopSignal || !run.watchEnded) {
        ReportWin32Error(L"Failed to create event", GetLastError());
        return kExitFailure;
    }
    InstallCtrlHandler(run.stopSignal.Get());
    run.handedOver = TakeHandOverMark();
    ScanOutcome outcome = ScanArguments(argc, argv, RealScanEnvironment(), run.options);
    if (StepEnd ended = FinishScan(outcome)) {
        return *ended;
    }
    if (run.options.settings.uploadUrl != nullptr) {
        HideUrlSecretsInCommandLine();
    }
    if (!StartEventLog(run.options, run.handedOver, run.log)) {
        return kExitFailure;
    }
    const int exitCode = RunAfterScan(run);
    EndEventLog(run.log, exitCode);
    return exitCode;
}

}  // namespace

int RunConsoleProgram(int argc, wchar_t** argv) {
    setlocale(LC_ALL, "chs");
    PrintBanner();
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    g_processWide.pageSize = system.dwPageSize;
    g_processWide.processorCount = system.dwNumberOfProcessors;
    g_processWide.foreignProcessTimesFrozen = RunsUnderWine();
    // Large, and alive until the threads have ended: not on the stack.
    std::unique_ptr<RunState> run(new (std::nothrow) RunState());
    if (!run) {
        ReportWin32Error(L"Failed to allocate memory", ERROR_NOT_ENOUGH_MEMORY);
        return kExitFailure;
    }
    const int exitCode = RunWithState(*run, argc, argv);
    if (run->threadLeftRunning) {
        // The process ends with this thread; until then the thread still
        // running may read the run's record.
        (void)run.release();
    }
    return exitCode;
}
