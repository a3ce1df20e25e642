// All console output of the programs goes through these: the runtime's
// formatted print with the Microsoft format meanings ("%s" wide in a wide
// format, "%S" narrow, "%I64d"), flushed at once so that lines from the
// monitor threads and from a relaunched 64-bit build keep their order.
#pragma once

void PrintWide(const wchar_t* format, ...);
void PrintNarrow(const char* format, ...);
