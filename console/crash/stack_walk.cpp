#include "console/crash/stack_walk.h"

#include <dbghelp.h>

#include <vector>

#include "common/unique_resource.h"
#include "common/wow64.h"
#include "console/crash/target_modules.h"

namespace {

// The walker's own state for a process; keyed by the process handle.
struct SymbolSessionTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Free(Type process) { SymCleanup(process); }
};
using SymbolSession = UniqueResource<SymbolSessionTraits>;

// A thread suspended by us, let go again when its owner goes.
struct SuspensionTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Free(Type thread) { ResumeThread(thread); }
};
using Suspension = UniqueResource<SuspensionTraits>;

// The registers the walk starts from, in the layout of the target.
struct WalkStart {
    DWORD machine = 0;
    bool x64 = false;
    void* record = nullptr;  // the context the walker reads and updates
    uint64_t pc = 0;
    uint64_t sp = 0;
    uint64_t fp = 0;
    alignas(16) CONTEXT native;
#ifdef _WIN64
    WOW64_CONTEXT wow64;
#endif
};

bool ProcessEnded(HANDLE process) {
    if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
        return true;
    }
    DWORD code = 0;
    return !GetExitCodeProcess(process, &code) || code != STILL_ACTIVE;
}

#ifdef _WIN64
bool ReadWow64Start(HANDLE thread, WalkStart* start) {
    ZeroMemory(&start->wow64, sizeof start->wow64);
    start->wow64.ContextFlags = WOW64_CONTEXT_FULL;
    if (thread == nullptr || !Wow64GetThreadContext(thread, &start->wow64)) {
        return false;
    }
    start->machine = IMAGE_FILE_MACHINE_I386;
    start->record = &start->wow64;
    start->pc = start->wow64.Eip;
    start->sp = start->wow64.Esp;
    start->fp = start->wow64.Ebp;
    return true;
}
#endif

bool ReadNativeStart(HANDLE thread, const CONTEXT* given, WalkStart* start) {
    if (given != nullptr) {
        start->native = *given;
    } else {
        ZeroMemory(&start->native, sizeof start->native);
        start->native.ContextFlags = CONTEXT_FULL;
        if (thread == nullptr || !GetThreadContext(thread, &start->native)) {
            return false;
        }
    }
    start->record = &start->native;
#ifdef _WIN64
    start->machine = IMAGE_FILE_MACHINE_AMD64;
    start->x64 = true;
    start->pc = start->native.Rip;
    start->sp = start->native.Rsp;
    start->fp = start->native.Rbp;
#else
    start->machine = IMAGE_FILE_MACHINE_I386;
    start->pc = start->native.Eip;
    start->sp = start->native.Esp;
    start->fp = start->native.Ebp;
#endif
    return true;
}

// What the walk of one process needs besides the frame record.
struct Walk {
    HANDLE process;
    HANDLE thread;
    WalkStart& start;
    const std::vector<TargetModule>& modules;
    std::vector<StackFrame>& frames;
};

void AddFrame(Walk& walk, uint64_t address, FrameFound found) {
    StackFrame frame;
    frame.address = address;
    frame.found = found;
    PlaceFrame(walk.modules, &frame);
    walk.frames.push_back(frame);
}

// The walker found no next frame. The return address the frame before
// named is a real frame all the same (its caller was unwound to reach it),
// so it is kept; the walker stopped because that code cannot be unwound.
StackEnd AfterWalkerStopped(Walk& walk, uint64_t lastReturn, FrameFound found) {
    if (walk.frames.empty()) {
        AddFrame(walk, walk.start.pc, FrameFound::kContext);
        return ProcessEnded(walk.process) ? StackEnd::kProcessEnded : StackEnd::kUnreadable;
    }
    if (lastReturn == 0) {
        return StackEnd::kComplete;
    }
    if (ProcessEnded(walk.process)) {
        return StackEnd::kProcessEnded;
    }
    AddFrame(walk, lastReturn, found);
    const bool unwindData = SymFunctionTableAccess64(walk.process, lastReturn) != nullptr;
    return walk.start.x64 && !unwindData ? StackEnd::kNoUnwindData : StackEnd::kUnreadable;
}

StackEnd WalkFrames(Walk& walk) {
    STACKFRAME64 frame = {};
    frame.AddrPC.Offset = walk.start.pc;
    frame.AddrStack.Offset = walk.start.sp;
    frame.AddrFrame.Offset = walk.start.fp;
    frame.AddrPC.Mode = frame.AddrStack.Mode = frame.AddrFrame.Mode = AddrModeFlat;
    const ULONGLONG deadline = GetTickCount64() + kStackWalkMilliseconds;
    FrameFound nextFound = FrameFound::kContext;
    uint64_t lastSp = 0;
    uint64_t lastReturn = 0;
    for (;;) {
        if (walk.frames.size() >= kMaxStackFrames) {
            return lastReturn == 0 ? StackEnd::kComplete : StackEnd::kFrameLimit;
        }
        if (GetTickCount64() >= deadline) {
            return StackEnd::kTimeLimit;
        }
        if (!StackWalk64(walk.start.machine, walk.process, walk.thread, &frame, walk.start.record,
                         nullptr, SymFunctionTableAccess64, SymGetModuleBase64, nullptr)) {
            return AfterWalkerStopped(walk, lastReturn, nextFound);
        }
        const uint64_t pc = frame.AddrPC.Offset;
        const uint64_t sp = frame.AddrStack.Offset;
        if (pc == 0) {
            return StackEnd::kComplete;
        }
        // Each caller's frame lies further up the stack: anything else is a
        // corrupt stack the walker would go round in.
        if (!walk.frames.empty() && sp <= lastSp) {
            return StackEnd::kLoop;
        }
        AddFrame(walk, pc, nextFound);
        // Asked of the walker's own look-up rather than read from the frame
        // record, whose entry not every walker fills for the frame it names.
        const bool unwindData = SymFunctionTableAccess64(walk.process, pc) != nullptr;
        // 64-bit code that calls has unwind data; code without it is a leaf
        // function only in a module and only as the first frame. Beyond
        // that its caller would be a guess.
        if (walk.start.x64 && !unwindData &&
            (walk.frames.size() > 1 || walk.frames.back().module.empty())) {
            return StackEnd::kNoUnwindData;
        }
        nextFound =
            unwindData || walk.start.x64 ? FrameFound::kUnwindData : FrameFound::kFramePointer;
        lastSp = sp;
        lastReturn = frame.AddrReturn.Offset;
    }
}

// The walker reads the modules' unwind data itself, loading each module only
// when a frame lies in it. It is kept from looking for symbol files where
// they could be fetched from: no symbol server, no path the module's build
// recorded, no prompt.
bool OpenSymbolSession(HANDLE process, bool loadModules, SymbolSession* session) {
    SymSetOptions(SYMOPT_DEFERRED_LOADS | SYMOPT_IGNORE_NT_SYMPATH | SYMOPT_IGNORE_CVREC |
                  SYMOPT_NO_PROMPTS | SYMOPT_FAIL_CRITICAL_ERRORS |
                  SYMOPT_DISABLE_SYMSRV_AUTODETECT);
    if (!SymInitializeW(process, nullptr, loadModules ? TRUE : FALSE)) {
        return false;
    }
    session->Reset(process);
    return true;
}

}  // namespace

void WalkStack(const StackSource& source, CrashReport* report) {
    report->frames.clear();
    report->end = StackEnd::kComplete;
#ifdef _WIN64
    const bool wow64 = IsWow64(source.process);
#else
    const bool wow64 = false;
#endif
    report->wideAddresses = sizeof(void*) == 8 && !wow64;
    UniqueHandle thread(
        OpenThread(THREAD_GET_CONTEXT | THREAD_SUSPEND_RESUME | THREAD_QUERY_INFORMATION, FALSE,
                   source.threadId));
    // A thread held at an exception stays where it is; any other is held
    // still while its stack is read.
    const bool fromThread = source.context == nullptr || wow64;
    Suspension held;
    if (fromThread && thread && SuspendThread(thread.Get()) != static_cast<DWORD>(-1)) {
        held.Reset(thread.Get());
    }
    WalkStart start;
#ifdef _WIN64
    const bool started = wow64 ? ReadWow64Start(thread.Get(), &start)
                               : ReadNativeStart(thread.Get(), source.context, &start);
#else
    const bool started = ReadNativeStart(thread.Get(), source.context, &start);
#endif
    const std::vector<TargetModule> modules = ListTargetModules(source.process);
    if (!started) {
        if (source.exceptionAddress != 0) {
            StackFrame frame;
            frame.address = source.exceptionAddress;
            PlaceFrame(modules, &frame);
            report->frames.push_back(frame);
        }
        report->end = ProcessEnded(source.process) ? StackEnd::kProcessEnded : StackEnd::kNoContext;
        return;
    }
    // Wine's walker takes the 64-bit modules for those of a 32-bit process,
    // so a 32-bit target of the 64-bit build is walked by its frame
    // pointers alone.
    SymbolSession session;
    OpenSymbolSession(source.process, !wow64, &session);
    Walk walk{source.process, thread.Get(), start, modules, report->frames};
    report->end = WalkFrames(walk);
}
