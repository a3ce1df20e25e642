#include "common/console_output.h"

#include <cstdarg>
#include <cstdio>

void PrintWide(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    vwprintf(format, args);
    va_end(args);
    fflush(stdout);
}

void PrintNarrow(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    fflush(stdout);
}
