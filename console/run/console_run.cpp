#include "console/run/console_run.h"

#include <windows.h>
#include <process.h>

#include <clocale>

#include "common/console_output.h"
#include "common/optional_export.h"
#include "common/process_wide.h"
#include "common/unique_resource.h"
#include "console/monitors/counter_monitor.h"
#include "console/monitors/debug_event_monitor.h"
#include "console/monitors/error_report.h"
#include "console/options/config_summary.h"
#include "console/options/default_dump_path.h"
#include "console/options/dump_type.h"
#include "console/options/option_scan.h"
#include "console/options/usage_text.h"
#include "console/run/acquisition.h"
#include "console/run/banner.h"
#include "console/run/ctrl_handler.h"
#include "console/run/debug_privilege.h"
#include "console/run/launch.h"
#include "console/run/postmortem.h"
#include "console/run/process_lookup.h"
#include "console/run/scan_environment.h"
#include "console/run/supervision.h"
#include "console/run/x64_handover.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

// Everything the entry owns for the whole run. The monitor threads read
// `config` and reach the shared objects through it; this lives until the
// entry returns, which happens only after the threads have ended.
struct RunState {
    ScannedOptions options;
    AcquiredTarget target;
    MonitorConfig config;
    CRITICAL_SECTION dumpLock;
    uint32_t dumpsWritten;
    uint32_t dumpFailed;
    UniqueHandle process;
    DebugThreadLaunch debugLaunch;
    UniqueHandle debugThread;
    UniqueHandle counterThread;
    bool handedOver;  // this is the 64-bit build, started by the 32-bit build's hand-over
};

// Printing for the scan outcomes that end the run; -1 when the run goes on.
int FinishScan(const ScanOutcome& outcome) {
    switch (outcome.status) {
        case ScanStatus::Run:
            return -1;
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

bool CompleteDumpPath(RunState& run) {
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

bool ResolveNativeQueries() {
    g_processWide.ntQuerySystemInformation =
        LookUpExport<NtQuerySystemInformationFunction>(L"ntdll.dll", "NtQuerySystemInformation");
    g_processWide.ntQueryInformationProcess =
        LookUpExport<NtQueryInformationProcessFunction>(L"ntdll.dll", "NtQueryInformationProcess");
    return g_processWide.ntQuerySystemInformation != nullptr &&
           g_processWide.ntQueryInformationProcess != nullptr;
}

// The scanned settings plus the run's handle, identifier and shared objects.
void FillConfig(RunState& run) {
    DebugLaunchRequest* launchRequest = run.config.launchRequest;
    InitializeCriticalSection(&run.dumpLock);
    g_stopFlag = 0;
    run.dumpsWritten = 0;
    run.dumpFailed = 0;
    run.config = run.options.settings;
    run.config.process = run.process.Get();
    run.config.processId = GetProcessId(run.process.Get());
    run.config.dumpPath = run.options.dumpPath;
    run.config.stopFlag = &g_stopFlag;
    run.config.dumpLock = &run.dumpLock;
    run.config.dumpsWritten = &run.dumpsWritten;
    run.config.dumpFailed = &run.dumpFailed;
    run.config.launchRequest = launchRequest;
}

void FillLaunchedProcessName(RunState& run) {
    if (!FindProcessNameById(run.target.id, run.target.processName, TakeProcessSnapshot())) {
        run.target.processName[0] = L'\0';
    }
}

// Opens or launches the target. Returns the exit code when the run ends
// here, -1 when it goes on.
int ObtainProcess(RunState& run, HandOverDecision& handOver) {
    ScannedOptions& options = run.options;
    if (handOver.process) {
        // The 32-bit build has opened or launched the target for its bitness
        // test and keeps the run.
        run.process = std::move(handOver.process);
        if (options.launch) {
            run.target.id = GetProcessId(run.process.Get());
            FillLaunchedProcessName(run);
        }
        return -1;
    }
    if (options.launch && options.settings.debugThread) {
        run.config = options.settings;
        if (!StartLaunchOnDebugThread(run.debugLaunch, run.config, options.launchImage,
                                      options.launchArguments)) {
            return kExitFailure;
        }
        run.debugThread.Reset(run.debugLaunch.thread.Release());
        if (!run.debugLaunch.request.succeeded) {
            uint32_t error = run.debugLaunch.request.error;
            run.debugLaunch.thread.Reset(run.debugThread.Release());
            AbandonDebugThreadLaunch(run.debugLaunch, false);
            if (LaunchFailureNeedsX64Build(error)) {
                return RelaunchAs64Bit();
            }
            ReportWin32Error(L"Failed to create process", error);
            return kExitFailure;
        }
        run.process.Reset(run.debugLaunch.request.process);
        run.target.id = run.debugLaunch.request.processId;
        FillLaunchedProcessName(run);
        if (LaunchedImageNeedsX64Build(run.process.Get())) {
            run.debugLaunch.thread.Reset(run.debugThread.Release());
            AbandonDebugThreadLaunch(run.debugLaunch, true);
            return RelaunchAs64Bit();
        }
        return -1;
    }
    if (options.launch) {
        uint32_t error = 0;
        if (!LaunchOnThisThread(options.launchImage, options.launchArguments, run.process,
                                &run.target.id, &error)) {
            if (LaunchFailureNeedsX64Build(error)) {
                return RelaunchAs64Bit();
            }
            ReportWin32Error(L"Failed to create process", error);
            return kExitFailure;
        }
        FillLaunchedProcessName(run);
        if (LaunchedImageNeedsX64Build(run.process.Get())) {
            TerminateProcess(run.process.Get(), 0);
            DebugActiveProcessStop(run.target.id);
            return RelaunchAs64Bit();
        }
        return -1;
    }
    run.process.Reset(OpenProcess(PROCESS_ALL_ACCESS, FALSE, run.target.id));
    if (!run.process) {
        ReportWin32Error(L"Failed to open process", GetLastError());
        return kExitFailure;
    }
    return -1;
}

// Starts the threads and supervises them. Returns the run's exit code.
int MonitorTarget(RunState& run) {
    if (run.config.debugThread) {
        if (run.debugThread) {
            ProceedWithDebugThreadLaunch(run.debugLaunch);
        } else {
            run.debugThread.Reset(reinterpret_cast<HANDLE>(
                _beginthreadex(nullptr, 0, DebugEventMonitorThread, &run.config, 0, nullptr)));
            if (!run.debugThread) {
                return kExitFailure;
            }
        }
    } else {
        // Ends the debugging relation of a -x launch and lets the process
        // run; no effect on an opened process.
        DebugActiveProcessStop(run.config.processId);
    }
    run.counterThread.Reset(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, CounterMonitorThread, &run.config, 0, nullptr)));
    if (!run.counterThread) {
        if (run.debugThread) {
            // The thread must not outlive the record it reads.
            g_stopFlag = 1;
            WaitForSingleObject(run.debugThread.Get(), INFINITE);
        }
        return kExitFailure;
    }
    HANDLE threads[2] = {run.counterThread.Get(), run.debugThread.Get()};
    SuperviseMonitorThreads(threads, run.debugThread ? 2 : 1, run.process.Get(), &run.dumpLock);
    return run.dumpFailed != 0 ? kExitFailure : kExitSuccess;
}

int RunAfterScan(RunState& run) {
    if (!AcquireTarget(run.options, run.target)) {
        return kExitFailure;
    }
    if (!CompleteDumpPath(run)) {
        return kExitFailure;
    }
    if (run.options.install && !run.handedOver) {
        // Its failures are reported by it and do not change the run. After a
        // hand-over the 32-bit build has registered itself already.
        RegisterPostmortemDebugger(run.options.dumpPath, run.options.fullMemory,
                                   run.options.settings.miniPlus != 0, run.options.userLibrary,
                                   run.options.userLibraryPath);
    }
    // The 32-bit build may hand the whole run to its 64-bit build here.
    HandOverDecision handOver = DecideX64HandOver(run.options, run.target.id);
    if (handOver.endRun) {
        return handOver.exitCode;
    }
    if (!ResolveNativeQueries()) {
        return kExitSuccess;
    }
    run.options.settings.dumpType =
        AddDebugHelpFlags(run.options.settings.dumpType, DebugHelpExportsEnumDirTree());
    if (!EnableDebugPrivilege()) {
        return kExitFailure;
    }
    int ended = ObtainProcess(run, handOver);
    if (ended >= 0) {
        return ended;
    }
    FillConfig(run);
    PrintConfigSummary(run.config, run.target.processName, run.target.id);
    return MonitorTarget(run);
}

}  // namespace

int RunConsoleProgram(int argc, wchar_t** argv) {
    setlocale(LC_ALL, "chs");
    PrintBanner();
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    g_processWide.pageSize = system.dwPageSize;
    g_processWide.processorCount = system.dwNumberOfProcessors;
    SetConsoleCtrlHandler(ConsoleCtrlHandler, TRUE);

    // Large, and alive until the threads have ended: not on the stack.
    static RunState run;
    run.handedOver = TakeHandOverMark();
    ScanOutcome outcome = ScanArguments(argc, argv, RealScanEnvironment(), run.options);
    int ended = FinishScan(outcome);
    if (ended >= 0) {
        return ended;
    }
    return RunAfterScan(run);
}
