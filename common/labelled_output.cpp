#include "common/labelled_output.h"

#include <cstdarg>
#include <cstdio>
#include <cwctype>

#include "common/console_output.h"

namespace {

// "[hh:mm:ss] ": eleven characters.
constexpr size_t kStampLength = 11;

bool BeginsWithTimeStamp(const std::wstring& line) {
    if (line.size() < kStampLength) {
        return false;
    }
    for (size_t i = 0; i < kStampLength; ++i) {
        const wchar_t c = line[i];
        const bool fits = i == 0             ? c == L'['
                          : i == 9           ? c == L']'
                          : i == 10          ? c == L' '
                          : i == 3 || i == 6 ? c == L':'
                                             : iswdigit(c) != 0;
        if (!fits) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::wstring LabelLine(const std::wstring& line, const wchar_t* label, const SYSTEMTIME& now) {
    if (label == nullptr || label[0] == L'\0') {
        return line;
    }
    const std::wstring named = std::wstring(label) + L" ";
    if (BeginsWithTimeStamp(line)) {
        return line.substr(0, kStampLength) + named + line.substr(kStampLength);
    }
    wchar_t stamp[kStampLength + 1];
    _snwprintf(stamp, kStampLength + 1, L"[%02d:%02d:%02d] ", now.wHour, now.wMinute, now.wSecond);
    stamp[kStampLength] = L'\0';
    return stamp + named + line;
}

void PrintLabelled(const wchar_t* label, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const std::wstring text = FormatWide(format, args);
    va_end(args);
    SYSTEMTIME now;
    GetLocalTime(&now);
    PrintWide(L"%s", LabelLine(text, label, now).c_str());
}
