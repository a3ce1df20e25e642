#include "console/monitors/jit_dump.h"

#include <cstdint>

#include "common/optional_export.h"
#include "common/shown_command_line.h"
#include "console/monitors/jit_record.h"
#include "console/monitors/monitor_run.h"
#include "console/monitors/monitor_texts.h"
#include "console/options/monitor_config.h"

namespace {

// The failing thread's exception, copied into our own memory. We hand the
// dump writer pointers into this copy (ClientPointers FALSE) rather than
// letting it follow the target's pointers itself, so that every address is
// checked before it is used and nothing has to be written into the target.
struct CapturedException {
    EXCEPTION_RECORD record;
    CONTEXT context;
    EXCEPTION_POINTERS pointers;
};

using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, BOOL*);

// The record and context in the target have the target's layout; a copy is
// only meaningful when that layout is ours.
bool SameLayoutAsUs(HANDLE process) {
    auto isWow64 = LookUpExport<IsWow64ProcessFunction>(L"kernel32.dll", "IsWow64Process");
    if (isWow64 == nullptr) {
        return true;  // no 32-bit subsystem on a 64-bit system: one layout only
    }
    BOOL ours = FALSE;
    BOOL theirs = FALSE;
    if (!isWow64(GetCurrentProcess(), &ours) || !isWow64(process, &theirs)) {
        return false;
    }
    return ours == theirs;
}

bool ReadExact(HANDLE process, uint64_t address, void* buffer, size_t size, size_t* bytesRead) {
    *bytesRead = 0;
    if (address == 0 || !AddressReachable(address)) {
        return false;
    }
    SIZE_T read = 0;
    const BOOL ok =
        ReadProcessMemory(process, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)),
                          buffer, size, &read);
    *bytesRead = read;
    return ok && read == size;
}

bool CaptureJitException(HANDLE process, uintptr_t jitDebugInfo, CapturedException* captured,
                         uint32_t* threadId) {
    JitDebugInfo info = {};
    size_t bytesRead = 0;
    ReadExact(process, jitDebugInfo, &info, sizeof(info), &bytesRead);
    if (!JitRecordUsable(info, bytesRead) || !SameLayoutAsUs(process)) {
        return false;
    }
    if (!ReadExact(process, info.lpExceptionRecord, &captured->record, sizeof(captured->record),
                   &bytesRead) ||
        !ExceptionRecordUsable(captured->record)) {
        return false;
    }
    if (!ReadExact(process, info.lpContextRecord, &captured->context, sizeof(captured->context),
                   &bytesRead)) {
        return false;
    }
    captured->pointers.ExceptionRecord = &captured->record;
    captured->pointers.ContextRecord = &captured->context;
    *threadId = info.dwThreadID;
    return true;
}

}  // namespace

SeriesOutcome WriteJitDump(const MonitorRun& run) {
    const MonitorConfig& config = *run.config;
    wchar_t comment[kDumpCommentCapacity];
    FormatJitComment(comment, kDumpCommentCapacity, ShownCommandLine(), config.processId,
                     config.jitEvent, config.jitDebugInfo);

    CapturedException captured = {};
    uint32_t threadId = 0;
    MINIDUMP_EXCEPTION_INFORMATION exception = {};
    MINIDUMP_EXCEPTION_INFORMATION* exceptionInformation = nullptr;
    if (config.jitDebugInfo != 0 &&
        CaptureJitException(config.process, config.jitDebugInfo, &captured, &threadId)) {
        exception.ThreadId = threadId;
        exception.ExceptionPointers = &captured.pointers;
        exception.ClientPointers = FALSE;
        exceptionInformation = &exception;
    }
    const MetadataTrigger trigger = TriggerOfKind("jit");
    return WriteDumpSeries(DumpRequestFor(run, comment, trigger, exceptionInformation), *run.series,
                           SeriesDemand::kAlways);
}
