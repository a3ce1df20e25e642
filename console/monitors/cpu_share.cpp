#include "console/monitors/cpu_share.h"

bool ComputeCpuShare(CpuHistory& previous, const CpuSample& current, bool singleCore,
                     uint32_t processorCount, uint32_t* share) {
    const CpuHistory before = previous;
    previous.systemTotal = current.systemTotal;
    previous.processTotal = current.processTotal;
    if (before.systemTotal == 0) {
        return false;
    }
    const uint64_t divisor = (current.systemTotal - before.systemTotal) / 100;
    if (divisor == 0) {
        return false;
    }
    // Both divisions truncate; the quotient is kept as a 32-bit value.
    uint32_t value = static_cast<uint32_t>((current.processTotal - before.processTotal) / divisor);
    if (singleCore) {
        value *= processorCount;
    }
    *share = value;
    return true;
}

CpuStep StepCpuTrigger(const CpuTriggerSettings& settings, CpuHistory& previous,
                       uint32_t& consecutive, const CpuSample& current) {
    CpuStep step = {};
    step.hasValue = ComputeCpuShare(previous, current, settings.singleCore, settings.processorCount,
                                    &step.value);
    if (!step.hasValue) {
        step.count = consecutive;
        return step;
    }
    const bool qualifies =
        settings.trigger > 0 ? step.value >= settings.threshold : step.value <= settings.threshold;
    if (qualifies) {
        ++consecutive;
        step.line = CpuLine::kCount;
        step.fires = consecutive >= settings.thresholdSeconds;
    } else if (consecutive > 0) {
        step.line = CpuLine::kReset;
        consecutive = 0;
    }
    step.count = consecutive;
    return step;
}
