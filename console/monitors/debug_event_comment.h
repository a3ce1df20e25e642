// Dump comments of the debug-event thread. Both begin with the monitor's own
// command line; when that is too long for the buffer it is shortened, so the
// reason after it is always kept whole.
#pragma once

#include <cstddef>
#include <cstdint>

void FormatExceptionComment(wchar_t* comment, size_t capacity, const wchar_t* commandLine,
                            uint32_t code, bool firstChance);
void FormatTerminationComment(wchar_t* comment, size_t capacity, const wchar_t* commandLine);
