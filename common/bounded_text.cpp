#include "common/bounded_text.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>

bool CopyBounded(wchar_t* destination, size_t capacity, const wchar_t* source) {
    if (capacity == 0) {
        return false;
    }
    size_t length = wcslen(source);
    if (length >= capacity) {
        destination[0] = L'\0';
        return false;
    }
    wmemcpy(destination, source, length + 1);
    return true;
}

bool AppendBounded(wchar_t* destination, size_t capacity, const wchar_t* source) {
    size_t used = wcslen(destination);
    size_t length = wcslen(source);
    if (used + length >= capacity) {
        return false;
    }
    wmemcpy(destination + used, source, length + 1);
    return true;
}

static bool FormatInto(wchar_t* destination, size_t capacity, const wchar_t* format, va_list args) {
    if (capacity == 0) {
        return false;
    }
    // _vsnwprintf has the Microsoft meanings and returns -1 (or the full
    // count) when the text does not fit; it may leave the buffer unterminated.
    int written = _vsnwprintf(destination, capacity, format, args);
    if (written < 0 || static_cast<size_t>(written) >= capacity) {
        destination[capacity - 1] = L'\0';
        return false;
    }
    return true;
}

bool FormatBounded(wchar_t* destination, size_t capacity, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    bool fitted = FormatInto(destination, capacity, format, args);
    va_end(args);
    if (!fitted && capacity > 0) {
        destination[0] = L'\0';
    }
    return fitted;
}

void FormatCut(wchar_t* destination, size_t capacity, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    FormatInto(destination, capacity, format, args);
    va_end(args);
}
