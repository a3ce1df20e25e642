// The CPU time of another process read from its threads, for a platform
// that keeps the process times of other processes frozen. One system
// process-information query per sample lists every thread with its
// creation, kernel and user time: under Wine that query costs about a
// twentieth of a toolhelp thread snapshot, and less than a time query per
// thread once a process has more than a handful of threads.
#pragma once

#include <cstdint>
#include <vector>

#include "console/monitors/thread_cpu_ledger.h"

// What the sampling thread keeps from one sample to the next.
struct ThreadCpuTimes {
    std::vector<uint64_t> buffer;  // the query's records, 8-byte aligned; grows when too small
    std::vector<ThreadTimeReading> readings;
    ThreadCpuLedger ledger;
};

// Reads the threads of the process now and returns the ledger's total in
// *total (units of 100 ns); a process that is gone has no threads. Returns
// the query's status: negative when it failed.
long SampleThreadCpuTotal(ThreadCpuTimes& times, uint32_t processId, uint64_t* total);
