// Why a thread stopped, from the exception record a dump was written for.
#pragma once

#include <cstdint>

#include "console/crash/crash_report.h"

// The exception's name; for an access violation or an in-page error also
// what the access was (reading, writing, executing: an address the system
// would not run code at) and the address touched, for an in-page error the
// status that failed the read. A code outside the name table is named with
// its value ("UNKNOWN EXCEPTION 0xE06D7363"). parameters holds count values
// (the record's ExceptionInformation).
CrashReason ReasonOfException(uint32_t code, const uint64_t* parameters, uint32_t count);

// A window of the thread that no longer answers its messages.
CrashReason ReasonOfHungWindow();
