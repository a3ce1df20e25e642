// A FILETIME as one number (100 ns units since 1601), which orders and
// subtracts as times do.
#pragma once

#include <windows.h>

#include <cstdint>

inline uint64_t FileTimeTicks(const FILETIME& time) {
    return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}
