#include "common/console_output.h"

#include <windows.h>

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The runtime converts wide output to the locale's code page and stops at
// the first character that code page lacks, dropping the rest of the text
// and its line end. Such characters are shown as '?' instead.
void ReplaceUnprintable(std::wstring& text) {
    char converted[MB_LEN_MAX];
    for (wchar_t& c : text) {
        if (c != L'\0' && wctomb(converted, c) == -1) {
            c = L'?';
        }
    }
    wctomb(nullptr, L'\0');  // back to the initial shift state
}

// One lock for everything written to standard output, and the length of the
// status line on screen (0: none).
SRWLOCK g_outputLock = SRWLOCK_INIT;
size_t g_statusShown = 0;

class OutputLock {
  public:
    OutputLock() { AcquireSRWLockExclusive(&g_outputLock); }
    ~OutputLock() { ReleaseSRWLockExclusive(&g_outputLock); }
    OutputLock(const OutputLock&) = delete;
    OutputLock& operator=(const OutputLock&) = delete;
};

// Under the lock.
void EraseShownStatusLine() {
    if (g_statusShown != 0) {
        wprintf(L"%s", StatusLineEraseText(g_statusShown).c_str());
        fflush(stdout);
        g_statusShown = 0;
    }
}

}  // namespace

std::wstring StatusLineDrawText(const wchar_t* text, size_t shownLength) {
    std::wstring line = L"\r";
    line += text;
    const size_t length = line.size() - 1;
    if (length < shownLength) {
        line.append(shownLength - length, L' ');
    }
    return line;
}

std::wstring StatusLineEraseText(size_t shownLength) {
    if (shownLength == 0) {
        return std::wstring();
    }
    return L"\r" + std::wstring(shownLength, L' ') + L"\r";
}

bool StandardOutputIsConsole() {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

void ShowStatusLine(const wchar_t* text) {
    if (!StandardOutputIsConsole()) {
        return;
    }
    OutputLock hold;
    const std::wstring line = StatusLineDrawText(text, g_statusShown);
    wprintf(L"%s", line.c_str());
    fflush(stdout);
    g_statusShown = line.size() - 1;
}

void EraseStatusLine() {
    OutputLock hold;
    EraseShownStatusLine();
}

std::wstring FormatWide(const wchar_t* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int length = _vscwprintf(format, measure);
    va_end(measure);
    std::wstring text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length) + 1);
        _vsnwprintf(&text[0], text.size(), format, args);
        text.resize(static_cast<size_t>(length));
    }
    return text;
}

void PrintWide(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring text = FormatWide(format, args);
    va_end(args);
    OutputLock hold;  // the conversion state of ReplaceUnprintable is the runtime's one
    ReplaceUnprintable(text);
    EraseShownStatusLine();
    wprintf(L"%s", text.c_str());
    fflush(stdout);
}

void PrintNarrow(const char* format, ...) {
    OutputLock hold;
    EraseShownStatusLine();
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    fflush(stdout);
}
