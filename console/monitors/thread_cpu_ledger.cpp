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

uint64_t AddThreadSample(ThreadCpuLedger& ledger, std::vector<ThreadTimeReading>& readings,
                         uint64_t sampleTime) {
    std::sort(readings.begin(), readings.end(), Before);
    auto earlier = ledger.previous.begin();
    for (const ThreadTimeReading& now : readings) {
        earlier = std::lower_bound(earlier, ledger.previous.end(), now, Before);
        if (earlier != ledger.previous.end() && SameThread(*earlier, now)) {
            // A thread's time never goes back; should a reading ever do so,
            // the total must still not shrink.
            if (now.cpuTime > earlier->cpuTime) {
                ledger.total += now.cpuTime - earlier->cpuTime;
            }
        } else if (ledger.sampled && now.creationTime >= ledger.previousTime) {
            ledger.total += now.cpuTime;  // all of it was spent since the last sample
        }
    }
    ledger.previous.swap(readings);
    readings.clear();
    ledger.previousTime = sampleTime;
    ledger.sampled = true;
    return ledger.total;
}
