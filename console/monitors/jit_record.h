// The record a just-in-time start names, and the checks made before it is
// followed. Some systems hand over an address where no such record lies.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// The record the system leaves in the failing process; the same 40 bytes in
// both builds, addresses always 64-bit.
struct JitDebugInfo {
    uint32_t dwSize;
    uint32_t dwProcessorArchitecture;
    uint32_t dwThreadID;
    uint32_t dwReserved0;
    uint64_t lpExceptionAddress;
    uint64_t lpExceptionRecord;
    uint64_t lpContextRecord;
};
static_assert(sizeof(JitDebugInfo) == 40, "the record is 40 bytes in both builds");

// Whether what was read is a record we may follow: all 40 bytes read, the
// size field 40, and both addresses nonzero and reachable from this build.
bool JitRecordUsable(const JitDebugInfo& info, size_t bytesRead);

// Whether an exception record read from the target may be handed to the dump
// writer: the writer copies NumberParameters entries into a fixed array.
bool ExceptionRecordUsable(const EXCEPTION_RECORD& record);

// Whether an address of the target can be read by this build.
bool AddressReachable(uint64_t address);
