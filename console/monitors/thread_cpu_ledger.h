// The CPU time of a process as the sum over its threads, for a platform that
// keeps the process times of other processes frozen while their thread
// times are real. Kept free of system calls so that it can be fed made-up
// thread samples.
#pragma once

#include <cstdint>
#include <vector>

// One thread as one sample saw it; times in units of 100 ns. A thread is
// its identifier together with its creation time: an identifier can be
// given to a new thread once the old one has ended.
struct ThreadTimeReading {
    uint32_t threadId;
    uint64_t creationTime;
    uint64_t cpuTime;  // kernel plus user time
};

struct ThreadCpuLedger {
    std::vector<ThreadTimeReading> previous;  // the last sample, in order of id and creation
    uint64_t previousTime = 0;                // when it was taken (system time, 100 ns)
    bool sampled = false;                     // there was a sample before
    uint64_t total = 0;                       // never decreases
};

// Adds one sample, taken at sampleTime (system time, 100 ns units), to the
// total: every thread of the previous sample that is still there adds what
// its time grew since then, and a thread created since the previous sample
// adds all of its time. In the first sample every thread only sets its
// starting point. A thread that has gone adds nothing for the interval in
// which it ended, and one that came and went between two samples is not
// seen at all: where the platform tells the process's own total, that total
// is used instead (see shared_sampler.cpp). Takes the readings over and
// hands back the buffer of the previous sample in their place, so that
// sampling once a second allocates nothing. Returns the total.
uint64_t AddThreadSample(ThreadCpuLedger& ledger, std::vector<ThreadTimeReading>& readings,
                         uint64_t sampleTime);
