#include "console/monitors/system_readings.h"

#include "common/process_wide.h"
#include "console/monitors/vm_counters.h"
#include "console/report/error_report.h"

namespace {

constexpr ULONG kSystemProcessInformation = 5;
constexpr ULONG kSystemProcessorPerformanceInformation = 8;
constexpr ULONG kProcessVmCounters = 3;
constexpr ULONG kProcessTimes = 4;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr size_t kFirstListBytes = 256 * 1024;

struct ProcessorPerformance {
    LARGE_INTEGER idleTime;
    LARGE_INTEGER kernelTime;  // includes the idle time
    LARGE_INTEGER userTime;
    LARGE_INTEGER dpcTime;
    LARGE_INTEGER interruptTime;
    ULONG interruptCount;
};
static_assert(sizeof(ProcessorPerformance) == 48, "48 bytes per processor in both builds");

struct KernelUserTimes {
    LARGE_INTEGER createTime;
    LARGE_INTEGER exitTime;
    LARGE_INTEGER kernelTime;
    LARGE_INTEGER userTime;
};
static_assert(sizeof(KernelUserTimes) == 32, "32 bytes in both builds");

}  // namespace

bool QueryProcessorsTotal(UniqueHeapMemory& buffer, uint64_t* total, LONG* status) {
    const uint32_t count = g_processWide.processorCount;
    const SIZE_T size = static_cast<SIZE_T>(count) * sizeof(ProcessorPerformance);
    *status = 0;
    if (!buffer) {
        buffer.Reset(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
        if (!buffer) {
            // HeapAlloc does not always set the last error.
            const DWORD error = GetLastError();
            ReportWin32Error(L"Failed to allocate memory",
                             error != 0 ? error : ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
    }
    auto* processors = static_cast<ProcessorPerformance*>(buffer.Get());
    ULONG returned = 0;
    *status = g_processWide.ntQuerySystemInformation(
        kSystemProcessorPerformanceInformation, processors, static_cast<ULONG>(size), &returned);
    if (*status < 0) {
        return false;
    }
    uint64_t sum = 0;
    for (uint32_t i = 0; i < count; ++i) {
        sum += static_cast<uint64_t>(processors[i].kernelTime.QuadPart) +
               static_cast<uint64_t>(processors[i].userTime.QuadPart);
    }
    *total = sum;
    return true;
}

LONG QueryProcessList(std::vector<uint64_t>& buffer, ULONG* length) {
    if (buffer.empty()) {
        buffer.resize(kFirstListBytes / sizeof(uint64_t));
    }
    LONG status = kInfoLengthMismatch;
    // Processes may start between two tries.
    for (int attempt = 0; attempt < 8 && status == kInfoLengthMismatch; ++attempt) {
        const ULONG bytes = static_cast<ULONG>(buffer.size() * sizeof(uint64_t));
        ULONG needed = 0;
        status = g_processWide.ntQuerySystemInformation(kSystemProcessInformation, buffer.data(),
                                                        bytes, &needed);
        if (status == kInfoLengthMismatch) {
            const size_t grown = (needed > bytes ? needed : bytes) + bytes / 2;
            buffer.resize(grown / sizeof(uint64_t) + 1);
        } else {
            *length = needed < bytes ? needed : bytes;
        }
    }
    return status;
}

LONG QueryProcessCpuTime(HANDLE process, uint64_t* total) {
    KernelUserTimes times = {};
    ULONG returned = 0;
    const LONG status = g_processWide.ntQueryInformationProcess(process, kProcessTimes, &times,
                                                                sizeof(times), &returned);
    if (status >= 0) {
        *total = static_cast<uint64_t>(times.kernelTime.QuadPart) +
                 static_cast<uint64_t>(times.userTime.QuadPart);
    }
    return status;
}

LONG QueryProcessCommit(HANDLE process, uint64_t* privateBytes) {
    VmCounters counters = {};
    ULONG returned = 0;
    const LONG status = g_processWide.ntQueryInformationProcess(
        process, kProcessVmCounters, &counters, sizeof(counters), &returned);
    if (status >= 0) {
        *privateBytes = counters.privateUsage;
    }
    return status;
}
