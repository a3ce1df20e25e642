#include "console/monitors/debug_event_monitor.h"

#include <windows.h>
#include <dbghelp.h>

#include "common/console_output.h"
#include "common/debugged_launch.h"
#include "common/labelled_output.h"
#include "common/shown_command_line.h"
#include "common/stop_signal.h"
#include "common/unique_resource.h"
#include "console/monitors/debug_event_comment.h"
#include "console/monitors/debug_launch.h"
#include "console/monitors/debug_string_text.h"
#include "console/monitors/exception_decision.h"
#include "console/monitors/monitor_run.h"
#include "console/options/monitor_config.h"
#include "console/report/error_report.h"
#include "console/series/dump_series.h"
#include "console/series/series_gate.h"

namespace {

#ifdef _WIN64
static_assert(CONTEXT_ALL == 0x10001F, "full context of the 64-bit build");
#else
static_assert(CONTEXT_ALL == 0x1003F, "full context of the 32-bit build");
#endif

// How long one wait for a debug event lasts: the stop signal is looked at
// between two waits.
constexpr DWORD kWaitMilliseconds = 100;

// How long the events the target's exit left queued are waited for: well
// within the second a stopped watch gives its threads.
constexpr DWORD kDrainMilliseconds = 500;

struct MonitorState {
    const MonitorRun* run;
    const MonitorConfig* config;
    bool initialBreakpointSeen;
    bool terminateTarget;
    bool exitSeen;  // the target's exit event has been handled
    SYSTEMTIME time;
    DEBUG_EVENT event;
    // GetThreadContext needs the alignment the processor's save area demands
    // (16 bytes on x64); a misaligned record fails or corrupts the read.
    alignas(16) CONTEXT context;
    wchar_t comment[kDumpCommentCapacity];
};

// Reads the full context of one thread of the target. The record is cleared
// first so that nothing of an earlier event survives in it.
bool ReadThreadContext(HANDLE thread, CONTEXT* context) {
    ZeroMemory(context, sizeof *context);
    context->ContextFlags = CONTEXT_ALL;
    return GetThreadContext(thread, context) != FALSE;
}

// An unhandled breakpoint instruction is one byte long; moving the
// instruction pointer past it lets the thread run on.
bool StepOverBreakpoint(MonitorState& state) {
    UniqueHandle thread(
        OpenThread(THREAD_GET_CONTEXT | THREAD_SET_CONTEXT, FALSE, state.event.dwThreadId));
    if (!thread || !ReadThreadContext(thread.Get(), &state.context)) {
        return false;
    }
#ifdef _WIN64
    state.context.Rip += 1;
#else
    state.context.Eip += 1;
#endif
    SetThreadContext(thread.Get(), &state.context);
    return true;
}

void RequestDump(MonitorState& state, SeriesDemand demand, const MetadataTrigger& trigger,
                 MINIDUMP_EXCEPTION_INFORMATION* exceptionInformation = nullptr,
                 bool firstChance = false) {
    WriteDumpSeries(
        DumpRequestFor(*state.run, state.comment, trigger, exceptionInformation, firstChance),
        *state.run->series, demand);
}

// In a long watch (-a) a first chance exception is dumped only while the
// triggers are armed: series are left to write, none is being written (a
// gap included) and the quiet time is over. Otherwise the exception goes
// back to the target at once. The series gate decides for good; this only
// spares the exception line for one that will not be dumped.
bool ArmedForFirstChance(const MonitorState& state) {
    WatchSeries& series = *state.run->series;
    return !SeriesFinished(series) && MillisecondsUntilArmed(series) == 0;
}

// A long watch lets the target go on after a first chance dump, with the
// exception passed on as for any first chance exception; the watch is over
// once its series are all written.
bool GoOnAfterFirstChanceDump(MonitorState& state) {
    if (SeriesFinished(*state.run->series)) {
        RaiseStop(state.run->stopEvent);
    }
    return true;
}

// Returns false when the event stays uncontinued: its thread is held until
// the target is terminated.
bool DumpException(MonitorState& state, uint32_t code, bool firstChance) {
    const bool longWatch = firstChance && state.config->rearm != 0;
    if (longWatch && !ArmedForFirstChance(state)) {
        return true;
    }
    const SYSTEMTIME& t = state.time;
    const wchar_t* label = state.run->lineLabel;
    if (firstChance) {
        PrintLabelled(label, L"[%02d:%02d:%02d] Exception: %08X %s\n", t.wHour, t.wMinute,
                      t.wSecond, code, ExceptionName(code));
    } else {
        PrintLabelled(label, L"[%02d:%02d:%02d] Exception: Unhandled - %08X %s\n", t.wHour,
                      t.wMinute, t.wSecond, code, ExceptionName(code));
    }
    FormatExceptionComment(state.comment, kDumpCommentCapacity, ShownCommandLine(), code,
                           firstChance);

    UniqueHandle thread(OpenThread(THREAD_GET_CONTEXT, FALSE, state.event.dwThreadId));
    if (!thread || !ReadThreadContext(thread.Get(), &state.context)) {
        // Without the context no faithful dump can be written; the exception
        // goes back to the target rather than leaving it stopped for good.
        return true;
    }
    EXCEPTION_POINTERS pointers{&state.event.u.Exception.ExceptionRecord, &state.context};
    MINIDUMP_EXCEPTION_INFORMATION information{};
    information.ThreadId = state.event.dwThreadId;
    information.ExceptionPointers = &pointers;
    information.ClientPointers = FALSE;  // both records lie in this process
    // A crash comes once and is dumped whatever else is going on; only a
    // long watch's first chance exceptions wait for the triggers to be armed.
    RequestDump(state, longWatch ? SeriesDemand::kWhenArmed : SeriesDemand::kAlways,
                TriggerOfKind("exception"), &information, firstChance);
    thread.Reset();
    if (longWatch) {
        return GoOnAfterFirstChanceDump(state);
    }
    state.terminateTarget = true;
    RaiseStop(state.run->stopEvent);
    return false;
}

// Returns false when the event must not be continued; otherwise *status is
// the continue status.
bool HandleException(MonitorState& state, DWORD* status) {
    const MonitorConfig& config = *state.config;
    const EXCEPTION_DEBUG_INFO& info = state.event.u.Exception;
    const uint32_t code = static_cast<uint32_t>(info.ExceptionRecord.ExceptionCode);
    const bool firstChance = info.dwFirstChance != 0;

    ExceptionOptions options{config.exceptionMonitor != 0, config.filterEnabled != 0, config.filter,
                             config.breakOnBreakpoints != 0, config.firstChance != 0};
    ExceptionDecision decision =
        DecideException(options, ExceptionFacts{code, firstChance, state.initialBreakpointSeen});
    if (decision.isInitialBreakpoint) {
        state.initialBreakpointSeen = true;
    }
    if (decision.showFilterLine) {
        const SYSTEMTIME& t = state.time;
        PrintLabelled(state.run->lineLabel,
                      firstChance ? L"[%02d:%02d:%02d] Exception: %08X.%s (1st)\n"
                                  : L"[%02d:%02d:%02d] Exception: %08X.%s (2nd)\n",
                      t.wHour, t.wMinute, t.wSecond, code, ExceptionName(code));
    }

    *status = DBG_EXCEPTION_NOT_HANDLED;
    switch (decision.action) {
        case ExceptionAction::PassOn:
            return true;
        case ExceptionAction::StepOver:
            if (StepOverBreakpoint(state)) {
                *status = DBG_CONTINUE;
            }
            return true;
        case ExceptionAction::Dump:
            return DumpException(state, code, firstChance);
    }
    return true;
}

void HandleProcessExit(MonitorState& state) {
    const SYSTEMTIME& t = state.time;
    PrintLabelled(state.run->lineLabel, L"[%02d:%02d:%02d] Dump Process Exist\n", t.wHour,
                  t.wMinute, t.wSecond);
    FormatTerminationComment(state.comment, kDumpCommentCapacity, ShownCommandLine());
    RequestDump(state, SeriesDemand::kAlways, TriggerOfKind("termination"));
    RaiseStop(state.run->stopEvent);
}

// The text printed is only what was read: it ends at the first null within
// the bytes or at their end, whatever length the target claimed.
void PrintDebugString(MonitorState& state) {
    const OUTPUT_DEBUG_STRING_INFO& info = state.event.u.DebugString;
    const SYSTEMTIME& t = state.time;
    const size_t characters = info.nDebugStringLength;
    const size_t bytes = characters * (info.fUnicode ? sizeof(wchar_t) : sizeof(char));
    // One byte more than needed, so that a zero length is still an allocation.
    UniqueHeapMemory buffer(HeapAlloc(GetProcessHeap(), 0, bytes + 1));
    if (!buffer) {
        return;
    }
    if (bytes > 0 && !ReadProcessMemory(state.config->process, info.lpDebugStringData, buffer.Get(),
                                        bytes, nullptr)) {
        return;
    }
    const wchar_t* label = state.run->lineLabel;
    if (info.fUnicode) {
        const wchar_t* text = static_cast<const wchar_t*>(buffer.Get());
        PrintLabelled(label, L"[%02d:%02d:%02d] Debug String:\n%.*s\n", t.wHour, t.wMinute,
                      t.wSecond, static_cast<int>(WideTextLength(text, characters)), text);
    } else if (label != nullptr) {
        // The label is wide, the string stays in the narrow form it came in.
        const char* text = static_cast<const char*>(buffer.Get());
        PrintNarrow("[%02d:%02d:%02d] %S Debug String:\n%.*s\n", t.wHour, t.wMinute, t.wSecond,
                    label, static_cast<int>(NarrowTextLength(text, characters)), text);
    } else {
        const char* text = static_cast<const char*>(buffer.Get());
        PrintNarrow("[%02d:%02d:%02d] Debug String:\n%.*s\n", t.wHour, t.wMinute, t.wSecond,
                    static_cast<int>(NarrowTextLength(text, characters)), text);
    }
}

// The image file handles that come with process creation and DLL loads are
// the debugger's to close; either may be missing.
void CloseHandedFile(HANDLE file) {
    if (file != nullptr && file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
}

// Handles one event. Returns false when it stays uncontinued.
bool HandleEvent(MonitorState& state, DWORD* status) {
    const MonitorConfig& config = *state.config;
    DEBUG_EVENT& event = state.event;
    *status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
        case EXCEPTION_DEBUG_EVENT:
            return HandleException(state, status);
        case CREATE_PROCESS_DEBUG_EVENT:
            // The image's file handle is handed to the debugger to close; the
            // process and thread handles beside it belong to the system.
            CloseHandedFile(event.u.CreateProcessInfo.hFile);
            return true;
        case LOAD_DLL_DEBUG_EVENT:
            CloseHandedFile(event.u.LoadDll.hFile);
            return true;
        case EXIT_PROCESS_DEBUG_EVENT:
            if (config.terminateMonitor) {
                HandleProcessExit(state);
                return false;
            }
            return true;
        case OUTPUT_DEBUG_STRING_EVENT:
            if (config.debugStrings) {
                PrintDebugString(state);
            }
            return true;
        default:
            return true;
    }
}

// Waits up to the given time for one debug event and handles it. False when
// none came.
bool HandleNextEvent(MonitorState& state, DWORD milliseconds) {
    if (!WaitForDebugEvent(&state.event, milliseconds)) {
        return false;
    }
    GetLocalTime(&state.time);
    if (state.event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
        state.exitSeen = true;
    }
    DWORD status = DBG_CONTINUE;
    if (HandleEvent(state, &status)) {
        ContinueDebugEvent(state.event.dwProcessId, state.event.dwThreadId, status);
    }
    return true;
}

// The target's end can be seen on its handle (and the watch stopped for it)
// before this thread has taken the exit event, which is queued by then; the
// events still queued are handled, so that a termination dump or a last debug
// string is not lost to that race.
void HandleEventsLeftByTheExit(MonitorState& state) {
    const ULONGLONG deadline = GetTickCount64() + kDrainMilliseconds;
    while (!state.exitSeen && WaitForSingleObject(state.config->process, 0) == WAIT_OBJECT_0) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline || !HandleNextEvent(state, static_cast<DWORD>(deadline - now))) {
            return;
        }
    }
}

void RunEventLoop(MonitorState& state) {
    while (!StopRaised(state.run->stopEvent)) {
        if (!HandleNextEvent(state, kWaitMilliseconds) && GetLastError() != ERROR_SEM_TIMEOUT) {
            return;
        }
    }
    HandleEventsLeftByTheExit(state);
}

// Creates the process as this thread's debuggee and hands it to the entry.
// Returns true when the thread is to monitor it; the rest of the run's
// record may be read only then.
bool LaunchTarget(DebugLaunchRequest* request) {
    DebuggedLaunch launch = LaunchUnderDebugger(request->image, request->arguments);
    request->succeeded = launch.started;
    request->error = launch.error;
    // A handle of our own for an abandoned launch: the entry owns the one it
    // receives and may close it as soon as it has let us go.
    UniqueHandle ownProcess;
    if (launch.started) {
        DebugSetProcessKillOnExit(FALSE);
        DuplicateHandle(GetCurrentProcess(), launch.process.Get(), GetCurrentProcess(),
                        ownProcess.Receive(), PROCESS_TERMINATE, FALSE, 0);
        request->processId = launch.processId;
        request->process = launch.process.Release();
    }
    SetEvent(request->launched);
    if (!launch.started) {
        return false;
    }
    WaitForSingleObject(request->proceed, INFINITE);
    if (!request->abandon) {
        return true;
    }
    if (request->terminate && ownProcess) {
        TerminateProcess(ownProcess.Get(), 0);
    }
    DebugActiveProcessStop(request->processId);
    return false;
}

bool AttachTarget(const MonitorConfig& config) {
    if (!DebugActiveProcess(config.processId)) {
        ReportWin32Error(L"Failed to debug process", GetLastError());
        return false;
    }
    // Set only now: the setting belongs to the debugging relation that
    // attaching creates, so that the target survives this thread being ended
    // without detaching.
    DebugSetProcessKillOnExit(FALSE);
    return true;
}

}  // namespace

unsigned __stdcall DebugEventMonitorThread(void* argument) {
    const MonitorRun* run = static_cast<const MonitorRun*>(argument);
    if (run->launchRequest != nullptr) {
        if (!LaunchTarget(run->launchRequest)) {
            return 0;
        }
    } else if (!AttachTarget(*run->config)) {
        return 0;
    }
    const MonitorConfig* config = run->config;

    MonitorState state{};
    state.run = run;
    state.config = config;
    RunEventLoop(state);

    // The target is ended before detaching: a thread held at an exception
    // would otherwise run on the moment the debugger lets go, and an
    // unhandled one would crash the process (and start a postmortem
    // debugger) before it could be terminated.
    if (state.terminateTarget) {
        TerminateProcess(config->process, 0);
    }
    DebugActiveProcessStop(config->processId);
    return 0;
}
