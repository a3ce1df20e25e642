#include "common/console_output.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// The runtime converts wide output to the locale's code page and stops at
// the first character that code page lacks, dropping the rest of the text
// and its line end. Such characters are shown as '?' instead.
void ReplaceUnprintable(std::vector<wchar_t>& text) {
    char converted[MB_LEN_MAX];
    for (wchar_t& c : text) {
        if (c != L'\0' && wctomb(converted, c) == -1) {
            c = L'?';
        }
    }
    wctomb(nullptr, L'\0');  // back to the initial shift state
}

}  // namespace

void PrintWide(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = _vscwprintf(format, measure);
    va_end(measure);
    if (length >= 0) {
        std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
        _vsnwprintf(text.data(), text.size(), format, args);
        ReplaceUnprintable(text);
        wprintf(L"%s", text.data());
    }
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
