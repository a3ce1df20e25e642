#include "console/monitors/sampling_pass.h"

namespace {

enum class Step { kGoOn, kDump, kFailed };

Step CheckCpu(const PassSettings& settings, PassState& state, const PassProbes& probes,
              const PassClock& clock, wchar_t* comment, size_t capacity) {
    CpuSample sample = {};
    if (!probes.sampleCpu(probes.context, &sample)) {
        return Step::kFailed;
    }
    const CpuStep step = StepCpuTrigger(settings.cpu, state.previousCpu, state.consecutive, sample);
    wchar_t line[kLogLineCapacity];
    FormatCpuLine(line, kLogLineCapacity, clock, settings.cpu.trigger, step);
    if (line[0] != L'\0') {
        probes.print(probes.context, line);
    }
    if (!step.fires) {
        return Step::kGoOn;
    }
    FormatCpuComment(comment, capacity, settings.commandLine, settings.cpu.trigger,
                     settings.cpu.threshold, step.count);
    state.fired = MetadataTrigger{"cpu", settings.cpu.trigger, settings.cpu.threshold, step.value,
                                  step.count};
    return Step::kDump;
}

Step CheckCommit(const PassSettings& settings, PassState& state, const PassProbes& probes,
                 const PassClock& clock, wchar_t* comment, size_t capacity) {
    uint64_t privateBytes = 0;
    if (!probes.sampleCommit(probes.context, &privateBytes)) {
        return Step::kFailed;
    }
    const uint32_t commitMB = CommitInMB(privateBytes);
    if (!CommitMeets(settings.commitTrigger, commitMB, settings.commitThresholdMB)) {
        return Step::kGoOn;
    }
    FormatCommitComment(comment, capacity, settings.commandLine, settings.commitTrigger,
                        settings.commitThresholdMB);
    state.fired = MetadataTrigger{"commit", settings.commitTrigger, settings.commitThresholdMB,
                                  commitMB, std::nullopt};
    wchar_t line[kLogLineCapacity];
    FormatCommitLine(line, kLogLineCapacity, clock, commitMB);
    probes.print(probes.context, line);
    return Step::kDump;
}

Step CheckCounter(const PassSettings& settings, PassState& state, const PassProbes& probes,
                  const PassClock& clock, wchar_t* comment, size_t capacity) {
    int64_t value = 0;
    if (!probes.sampleCounter(probes.context, &value)) {
        return Step::kFailed;
    }
    if (!CounterMeets(settings.counterTrigger, value, settings.counterThreshold)) {
        return Step::kGoOn;
    }
    FormatCounterComment(comment, capacity, settings.commandLine, settings.counterTrigger,
                         settings.counterThreshold);
    state.fired = MetadataTrigger{"counter", settings.counterTrigger,
                                  static_cast<double>(settings.counterThreshold),
                                  static_cast<double>(value), std::nullopt};
    wchar_t line[kLogLineCapacity];
    FormatCounterLine(line, kLogLineCapacity, clock, value);
    probes.print(probes.context, line);
    return Step::kDump;
}

Step CheckHungWindow(const PassSettings& settings, PassState& state, const PassProbes& probes,
                     wchar_t* comment, size_t capacity) {
    const void* window = probes.findHungWindow(probes.context);
    if (window == nullptr) {
        return Step::kGoOn;
    }
    FormatHungWindowComment(comment, capacity, settings.commandLine, window);
    state.fired = TriggerOfKind("hungWindow");
    state.hungWindow = window;
    return Step::kDump;
}

PassOutcome ToOutcome(Step step) {
    return step == Step::kDump ? PassOutcome::kDump : PassOutcome::kFailed;
}

}  // namespace

bool CommitMeets(int32_t trigger, uint32_t commitMB, uint32_t thresholdMB) {
    return trigger > 0 ? commitMB >= thresholdMB : commitMB <= thresholdMB;
}

bool CounterMeets(int32_t trigger, int64_t value, int64_t threshold) {
    return trigger > 0 ? value >= threshold : value <= threshold;
}

uint32_t CommitInMB(uint64_t privateBytes) {
    return static_cast<uint32_t>(privateBytes >> 20);
}

PassOutcome RunSamplingPass(const PassSettings& settings, PassState& state,
                            const PassProbes& probes, const PassClock& clock, wchar_t* comment,
                            size_t commentCapacity) {
    state.hungWindow = nullptr;
    Step step = Step::kGoOn;
    if (settings.cpu.trigger != 0) {
        step = CheckCpu(settings, state, probes, clock, comment, commentCapacity);
        if (step != Step::kGoOn) {
            return ToOutcome(step);
        }
    }
    if (settings.commitTrigger != 0) {
        step = CheckCommit(settings, state, probes, clock, comment, commentCapacity);
        if (step != Step::kGoOn) {
            return ToOutcome(step);
        }
    }
    if (settings.counterTrigger != 0) {
        step = CheckCounter(settings, state, probes, clock, comment, commentCapacity);
        if (step != Step::kGoOn) {
            return ToOutcome(step);
        }
    }
    if (settings.hungWindow) {
        step = CheckHungWindow(settings, state, probes, comment, commentCapacity);
        if (step != Step::kGoOn) {
            return ToOutcome(step);
        }
    }
    return PassOutcome::kNothing;
}
