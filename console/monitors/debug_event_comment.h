// Dump comments of the debug-event thread. Both begin with the monitor's own
// command line and are cut at the end of the buffer when it is too long.
#pragma once

#include <cstddef>
#include <cstdint>

void FormatExceptionComment(wchar_t* comment, size_t capacity, const wchar_t* commandLine,
                            uint32_t code, bool firstChance);
void FormatTerminationComment(wchar_t* comment, size_t capacity, const wchar_t* commandLine);
