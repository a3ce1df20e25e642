// Megabytes as the program shows and counts them: units of 1024 * 1024 bytes.
#pragma once

#include <cstdint>

constexpr uint64_t kBytesPerMB = 1024 * 1024;

inline double Megabytes(uint64_t bytes) {
    return static_cast<double>(bytes) / static_cast<double>(kBytesPerMB);
}

// Whole megabytes, rounded up: what a file of that many bytes needs.
inline uint64_t MegabytesRoundedUp(uint64_t bytes) {
    return bytes / kBytesPerMB + (bytes % kBytesPerMB != 0 ? 1 : 0);
}
