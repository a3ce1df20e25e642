// One list of every process serves the counters of several watched
// processes: read from one real list of three targets of ours, each with
// the memory it committed and the threads it started.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "console/monitors/process_list.h"
#include "console/monitors/system_readings.h"
#include "console/run/native_queries.h"
#include "process_test_support.h"

namespace {

TEST(ProcessList, SeveralProcessesCountersFromOneList) {
    ASSERT_TRUE(ResolveNativeQueries());
    struct Case {
        const wchar_t* actions;
        uint32_t extraThreads;
    };
    const Case cases[] = {{L"sleep:60000", 0},
                          {L"commit:24 sleep:60000", 0},
                          {L"commit:56 threads:3 sleep:60000", 3}};
    process_test::TargetProcess targets[3];
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(targets[i].Start(cases[i].actions, "step sleep"));
    }
    std::vector<uint64_t> buffer;
    ULONG length = 0;
    ASSERT_GE(QueryProcessList(buffer, &length), 0);

    std::vector<ListedProcess> listed;
    for (process_test::TargetProcess& target : targets) {
        const ListedProcess process = FindListedProcess(buffer.data(), length, target.pid());
        ASSERT_TRUE(process.found) << target.pid();
        // What the list says is what the process's own counters say, but
        // for what a thread just started may still commit of its stack.
        uint64_t ownCommit = 0;
        ASSERT_GE(QueryProcessCommit(target.process(), &ownCommit), 0);
        const uint64_t apart = ownCommit > process.commitBytes ? ownCommit - process.commitBytes
                                                               : process.commitBytes - ownCommit;
        EXPECT_LT(apart, 4u * 1024 * 1024) << target.pid();
        std::vector<ThreadTimeReading> threads;
        ReadListedThreads(process, threads);
        std::set<uint32_t> ids;
        for (const ThreadTimeReading& thread : threads) {
            ids.insert(thread.threadId);
        }
        EXPECT_EQ(process.threadCount, ids.size());
        listed.push_back(process);
    }
    // Each process's own figures, not its neighbour's.
    const uint64_t mebibyte = 1024 * 1024;
    EXPECT_GE(listed[1].commitBytes, listed[0].commitBytes + 24 * mebibyte - mebibyte);
    EXPECT_GE(listed[2].commitBytes, listed[1].commitBytes + 32 * mebibyte - mebibyte);
    EXPECT_EQ(listed[0].threadCount + cases[2].extraThreads, listed[2].threadCount);
    EXPECT_GT(listed[0].threadCount, 0u);
    // A process that is not there is not found.
    EXPECT_FALSE(FindListedProcess(buffer.data(), length, 0xFFFFFFF0u).found);
    // The same list tells the processes of a name, letter case aside.
    std::vector<uint32_t> named;
    ListedProcessesNamed(buffer.data(), length, L"VH_TARGET.EXE", named);
    for (process_test::TargetProcess& target : targets) {
        EXPECT_NE(named.end(), std::find(named.begin(), named.end(), target.pid()));
    }
    std::vector<uint32_t> none;
    ListedProcessesNamed(buffer.data(), length, L"vh_target", none);
    EXPECT_TRUE(none.empty());
}

}  // namespace
