#include "console/monitors/jit_dump.h"

#include <cstdint>

#include "common/optional_export.h"
#include "console/dumpwriter/dump_series.h"
#include "console/monitors/jit_record.h"
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

uint32_t WriteJitDump(HANDLE process, uint32_t processId, const wchar_t* dumpPath,
                      uint32_t dumpCount, uint32_t overwrite, uint32_t dumpType, uint32_t miniPlus,
                      CRITICAL_SECTION* dumpLock, uint32_t* dumpsWritten, uint32_t reflect,
                      uintptr_t jitDebugInfo, uint32_t jitEvent, uint32_t* dumpFailed) {
    wchar_t comment[kDumpCommentCapacity];
    FormatJitComment(comment, kDumpCommentCapacity, GetCommandLineW(), processId, jitEvent,
                     jitDebugInfo);

    CapturedException captured = {};
    uint32_t threadId = 0;
    MINIDUMP_EXCEPTION_INFORMATION exception = {};
    MINIDUMP_EXCEPTION_INFORMATION* exceptionInformation = nullptr;
    if (jitDebugInfo != 0 && CaptureJitException(process, jitDebugInfo, &captured, &threadId)) {
        exception.ThreadId = threadId;
        exception.ExceptionPointers = &captured.pointers;
        exception.ClientPointers = FALSE;
        exceptionInformation = &exception;
    }
    return WriteDumpSeries(process, processId, dumpPath, dumpCount, overwrite, dumpType,
                           exceptionInformation, miniPlus, comment, dumpLock, dumpsWritten, reflect,
                           dumpFailed);
}
