// Times for files other programs read: UTC in ISO 8601 with milliseconds,
// "2026-12-08T10:00:00.123Z".
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// The fields are taken as they are (a SYSTEMTIME from GetSystemTime is UTC).
std::string FormatUtcTime(const SYSTEMTIME& time);

// False, leaving *text unchanged, for a FILETIME that has no calendar date
// (the platform refuses values of 2^63 and above).
bool FormatUtcTime(const FILETIME& time, std::string* text);

// The current time.
std::string UtcTimeNow();

// A time in exactly the form above, as FILETIME ticks (100 ns since 1601).
// False for anything else, or a date that does not exist.
bool ParseUtcTime(const std::string& text, uint64_t* ticks);
