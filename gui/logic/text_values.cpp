#include "gui/logic/text_values.h"

namespace {

wchar_t FoldAsciiLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// Reads the decimal number at text[*position], leaving *position behind it.
// Blanks around the number are allowed; the value keeps its low 8 bits.
bool ReadColourPart(const std::wstring& text, size_t* position, BYTE* part) {
    size_t i = *position;
    while (i < text.size() && text[i] == L' ') {
        ++i;
    }
    if (i == text.size() || !IsDigit(text[i])) {
        return false;
    }
    // Only the low 8 bits count, and they depend only on the number modulo
    // 256, so long numbers cannot overflow.
    unsigned value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        value = (value * 10 + static_cast<unsigned>(text[i] - L'0')) % 256;
    }
    while (i < text.size() && text[i] == L' ') {
        ++i;
    }
    *part = static_cast<BYTE>(value);
    *position = i;
    return true;
}

}  // namespace

bool ParseProcessId(const std::wstring& text, DWORD* processId) {
    if (text.empty()) {
        return false;
    }
    unsigned long long value = 0;
    for (wchar_t c : text) {
        if (!IsDigit(c)) {
            return false;
        }
        value = value * 10 + static_cast<unsigned>(c - L'0');
        if (value > 0xFFFFFFFFull) {
            return false;
        }
    }
    *processId = static_cast<DWORD>(value);
    return true;
}

bool ExeNamesEqual(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAsciiLetter(a[i]) != FoldAsciiLetter(b[i])) {
            return false;
        }
    }
    return true;
}

bool FindIdByName(const std::vector<ProcessEntry>& snapshot, const std::wstring& name,
                  DWORD* processId) {
    for (const ProcessEntry& entry : snapshot) {
        if (ExeNamesEqual(entry.exeName, name)) {
            *processId = entry.processId;
            return true;
        }
    }
    return false;
}

bool FindNameById(const std::vector<ProcessEntry>& snapshot, DWORD processId, std::wstring* name) {
    for (const ProcessEntry& entry : snapshot) {
        if (entry.processId == processId) {
            *name = entry.exeName;
            return true;
        }
    }
    return false;
}

bool ParseLinkColour(const std::wstring& text, COLORREF* colour) {
    BYTE parts[3] = {};
    size_t position = 0;
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (position == text.size() || text[position] != L',') {
                return false;
            }
            ++position;
        }
        if (!ReadColourPart(text, &position, &parts[i])) {
            return false;
        }
    }
    if (position != text.size()) {
        return false;
    }
    *colour = RGB(parts[0], parts[1], parts[2]);
    return true;
}
