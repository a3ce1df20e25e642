// The CPU time of another process read from its threads: one toolhelp
// thread snapshot per sample and the kernel and user times of each thread.
// Used where the platform keeps the process times of other processes frozen.
#pragma once

#include <cstdint>
#include <vector>

#include "common/unique_resource.h"
#include "console/monitors/thread_cpu_ledger.h"

// A thread of the target kept open from one sample to the next, so that a
// sample opens only the threads that are new.
struct OpenTargetThread {
    uint32_t threadId;
    UniqueHandle handle;
};

// Everything the sampling thread keeps between samples; it owns the handles.
struct ThreadCpuTimes {
    std::vector<OpenTargetThread> open;  // in order of id
    std::vector<OpenTargetThread> next;  // buffers reused by every sample
    std::vector<uint32_t> ids;
    std::vector<ThreadTimeReading> readings;
    ThreadCpuLedger ledger;
};

// Reads the threads of the process now and returns the ledger's total in
// *total (units of 100 ns). A thread that cannot be opened or read is left
// out of this sample. False, with the system error, when no thread snapshot
// could be taken.
bool SampleThreadCpuTotal(ThreadCpuTimes& times, uint32_t processId, uint64_t* total,
                          uint32_t* error);
