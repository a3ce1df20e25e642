#include "console/monitors/thread_cpu_times.h"

#include <windows.h>
#include <winternl.h>

#include <cstddef>

#include "common/file_time_ticks.h"
#include "common/process_wide.h"

namespace {

constexpr ULONG kSystemProcessInformation = 5;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr size_t kFirstBufferBytes = 256 * 1024;

// The system's record of one process; its threads' records follow it.
struct SystemProcessRecord {
    ULONG nextEntryOffset;  // 0 for the last process
    ULONG numberOfThreads;
    LARGE_INTEGER unused1[3];
    LARGE_INTEGER createTime;
    LARGE_INTEGER userTime;
    LARGE_INTEGER kernelTime;
    UNICODE_STRING imageName;
    LONG basePriority;
    HANDLE uniqueProcessId;
    HANDLE inheritedFromUniqueProcessId;
    ULONG handleCount;
    ULONG sessionId;
    ULONG_PTR uniqueProcessKey;
    SIZE_T unused2[2];
    ULONG pageFaultCount;
    SIZE_T unused3[9];
    LARGE_INTEGER unused4[6];
};
static_assert(sizeof(SystemProcessRecord) == (sizeof(void*) == 8 ? 256 : 184),
              "256 bytes in the 64-bit build, 184 in the 32-bit build");

struct SystemThreadRecord {
    LARGE_INTEGER kernelTime;
    LARGE_INTEGER userTime;
    LARGE_INTEGER createTime;
    ULONG waitTime;
    void* startAddress;
    HANDLE uniqueProcess;
    HANDLE uniqueThread;
    LONG priority;
    LONG basePriority;
    ULONG contextSwitches;
    ULONG threadState;
    ULONG waitReason;
};
static_assert(sizeof(SystemThreadRecord) == (sizeof(void*) == 8 ? 80 : 64),
              "80 bytes in the 64-bit build, 64 in the 32-bit build");

// The records of every process, the buffer grown as often as the system
// says it is too small (processes may start between two tries).
LONG QueryProcesses(std::vector<uint64_t>& buffer, ULONG* length) {
    if (buffer.empty()) {
        buffer.resize(kFirstBufferBytes / sizeof(uint64_t));
    }
    LONG status = kInfoLengthMismatch;
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

// The threads of the process, when it is in the records, and its own total.
void ReadThreads(const uint8_t* records, size_t length, uint32_t processId,
                 std::vector<ThreadTimeReading>& readings, uint64_t* processTotal) {
    size_t offset = 0;
    while (offset + sizeof(SystemProcessRecord) <= length) {
        const auto* process = reinterpret_cast<const SystemProcessRecord*>(records + offset);
        if (static_cast<uint32_t>(reinterpret_cast<uintptr_t>(process->uniqueProcessId)) ==
            processId) {
            *processTotal = static_cast<uint64_t>(process->kernelTime.QuadPart) +
                            static_cast<uint64_t>(process->userTime.QuadPart);
            const auto* threads = reinterpret_cast<const SystemThreadRecord*>(process + 1);
            const size_t room =
                (length - offset - sizeof(SystemProcessRecord)) / sizeof(SystemThreadRecord);
            for (size_t i = 0; i < process->numberOfThreads && i < room; ++i) {
                const SystemThreadRecord& thread = threads[i];
                readings.push_back(
                    {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(thread.uniqueThread)),
                     static_cast<uint64_t>(thread.createTime.QuadPart),
                     static_cast<uint64_t>(thread.kernelTime.QuadPart) +
                         static_cast<uint64_t>(thread.userTime.QuadPart)});
            }
            return;
        }
        if (process->nextEntryOffset == 0) {
            return;
        }
        offset += process->nextEntryOffset;
    }
}

}  // namespace

long SampleThreadCpuTotal(ThreadCpuTimes& times, uint32_t processId, uint64_t* total) {
    ULONG length = 0;
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    LONG status = QueryProcesses(times.buffer, &length);
    if (status < 0) {
        return status;
    }
    uint64_t processTotal = 0;
    // AddThreadSample hands the readings buffer back empty.
    ReadThreads(reinterpret_cast<const uint8_t*>(times.buffer.data()), length, processId,
                times.readings, &processTotal);
    const uint64_t threadTotal = AddThreadSample(times.ledger, times.readings, FileTimeTicks(now));
    *total = processTotal != 0 ? processTotal : threadTotal;
    return status;
}
