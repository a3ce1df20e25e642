#include "console/upload/retry_schedule.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <random>

uint64_t RetryBoundMs(const RetrySchedule& schedule, uint32_t failures) {
    uint64_t bound = schedule.firstBoundMs;
    for (uint32_t i = 1; i < failures && bound < schedule.maxBoundMs; ++i) {
        bound *= schedule.growth;
    }
    return std::min(bound, schedule.maxBoundMs);
}

uint64_t RetryDelayMs(const RetrySchedule& schedule, uint32_t failures,
                      std::optional<uint32_t> retryAfterSeconds, const RandomUpTo& random) {
    const uint64_t drawn = random(RetryBoundMs(schedule, failures));
    const uint64_t asked =
        retryAfterSeconds ? std::min(uint64_t{*retryAfterSeconds} * 1000, schedule.retryAfterCapMs)
                          : 0;
    return asked + drawn;
}

RandomUpTo SystemRandom() {
    std::random_device device;
    std::seed_seq seed{device(), device(), static_cast<unsigned>(GetTickCount64()),
                       static_cast<unsigned>(GetCurrentProcessId())};
    auto engine = std::make_shared<std::mt19937_64>(seed);
    return [engine](uint64_t bound) {
        return std::uniform_int_distribution<uint64_t>(0, bound)(*engine);
    };
}
