#include "console/monitors/thread_cpu_ledger.h"

#include <algorithm>

namespace {

bool Before(const ThreadTimeReading& a, const ThreadTimeReading& b) {
    return a.threadId != b.threadId ? a.threadId < b.threadId : a.creationTime < b.creationTime;
}

bool SameThread(const ThreadTimeReading& a, const ThreadTimeReading& b) {
    return a.threadId == b.threadId && a.creationTime == b.creationTime;
}

}  // namespace

uint64_t AddThreadSample(ThreadCpuLedger& ledger, std::vector<ThreadTimeReading>& readings) {
    std::sort(readings.begin(), readings.end(), Before);
    auto earlier = ledger.previous.begin();
    for (const ThreadTimeReading& now : readings) {
        earlier = std::lower_bound(earlier, ledger.previous.end(), now, Before);
        // A thread's time never goes back; should a reading ever do so, the
        // total must still not shrink.
        if (earlier != ledger.previous.end() && SameThread(*earlier, now) &&
            now.cpuTime > earlier->cpuTime) {
            ledger.total += now.cpuTime - earlier->cpuTime;
        }
    }
    ledger.previous.swap(readings);
    readings.clear();
    return ledger.total;
}
