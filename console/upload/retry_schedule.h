// When a dump whose upload failed for a passing reason is tried again. The
// waits grow (5, 15, 45 s, ... up to 5 minutes), and each is drawn at random
// between zero and its bound ("full jitter"), so that a fleet of machines
// whose server comes back does not retry in step. A server's Retry-After is
// honoured, up to a cap of 10 minutes, and the drawn wait comes on top of it:
// a fleet told to come back in two minutes does not come back in one wave.
// So no wait is longer than 15 minutes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

struct RetrySchedule {
    uint64_t firstBoundMs = 5000;
    uint32_t growth = 3;
    uint64_t maxBoundMs = 300000;
    uint64_t retryAfterCapMs = 600000;
};

// A number drawn uniformly from 0 to bound, both included.
using RandomUpTo = std::function<uint64_t(uint64_t bound)>;

// The bound of the wait after the failures-th failure in a row (from 1).
uint64_t RetryBoundMs(const RetrySchedule& schedule, uint32_t failures);

// The wait before the next try after the failures-th failure in a row: what
// the server asked (capped), plus a wait drawn up to the bound.
uint64_t RetryDelayMs(const RetrySchedule& schedule, uint32_t failures,
                      std::optional<uint32_t> retryAfterSeconds, const RandomUpTo& random);

// A source for RandomUpTo seeded from the system, safe to call from one
// thread at a time.
RandomUpTo SystemRandom();
