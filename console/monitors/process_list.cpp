#include "console/monitors/process_list.h"

#include <windows.h>
#include <winternl.h>

#include <cwchar>

#include "console/monitors/vm_counters.h"

namespace {

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
    VmCounters memory;  // its pagefileUsage is the commit charge
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

uint32_t IdOf(HANDLE id) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(id));
}

}  // namespace

ListedProcess FindListedProcess(const void* list, size_t length, uint32_t processId) {
    const auto* records = static_cast<const uint8_t*>(list);
    size_t offset = 0;
    while (offset + sizeof(SystemProcessRecord) <= length) {
        const auto* process = reinterpret_cast<const SystemProcessRecord*>(records + offset);
        if (IdOf(process->uniqueProcessId) == processId) {
            const size_t room =
                (length - offset - sizeof(SystemProcessRecord)) / sizeof(SystemThreadRecord);
            ListedProcess found = {};
            found.found = true;
            found.cpuTime = static_cast<uint64_t>(process->kernelTime.QuadPart) +
                            static_cast<uint64_t>(process->userTime.QuadPart);
            found.commitBytes = process->memory.pagefileUsage;
            found.threads = process + 1;
            found.threadCount = static_cast<uint32_t>(
                process->numberOfThreads < room ? process->numberOfThreads : room);
            return found;
        }
        if (process->nextEntryOffset == 0) {
            break;
        }
        offset += process->nextEntryOffset;
    }
    return ListedProcess{};
}

void ReadListedThreads(const ListedProcess& process, std::vector<ThreadTimeReading>& readings) {
    const auto* threads = static_cast<const SystemThreadRecord*>(process.threads);
    for (uint32_t i = 0; i < process.threadCount; ++i) {
        const SystemThreadRecord& thread = threads[i];
        readings.push_back({IdOf(thread.uniqueThread),
                            static_cast<uint64_t>(thread.createTime.QuadPart),
                            static_cast<uint64_t>(thread.kernelTime.QuadPart) +
                                static_cast<uint64_t>(thread.userTime.QuadPart)});
    }
}

void ListedProcessesNamed(const void* list, size_t length, const wchar_t* name,
                          std::vector<uint32_t>& ids) {
    const size_t nameLength = wcslen(name);
    const auto* records = static_cast<const uint8_t*>(list);
    size_t offset = 0;
    while (offset + sizeof(SystemProcessRecord) <= length) {
        const auto* process = reinterpret_cast<const SystemProcessRecord*>(records + offset);
        const UNICODE_STRING& image = process->imageName;
        const auto* text = reinterpret_cast<const uint8_t*>(image.Buffer);
        // The name lies in the list itself; one that does not is not read.
        const bool inList = text >= records && text + image.Length <= records + length;
        if (inList && image.Length == nameLength * sizeof(wchar_t) &&
            _wcsnicmp(image.Buffer, name, nameLength) == 0) {
            ids.push_back(IdOf(process->uniqueProcessId));
        }
        if (process->nextEntryOffset == 0) {
            break;
        }
        offset += process->nextEntryOffset;
    }
}
