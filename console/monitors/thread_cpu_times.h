// The CPU time of another process, for a platform that keeps the process
// times of other processes frozen. One system process-information query per
// sample lists every process with its own kernel and user time, and every
// thread with its creation, kernel and user time: under Wine that query
// costs about a twentieth of a toolhelp thread snapshot. Wine fills the
// process's own times there for real, threads that have ended included; the
// sum over the threads is kept for a platform that leaves them at zero.
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

// Reads the process now and returns its CPU time in *total (units of
// 100 ns): the process's own total when the platform tells it, else the
// ledger's sum over its threads; a process that is gone has no threads.
// Returns the query's status: negative when it failed.
long SampleThreadCpuTotal(ThreadCpuTimes& times, uint32_t processId, uint64_t* total);
