#include "console/postmortem/registry_value_text.h"

#include <cstring>
#include <cwchar>

namespace {

const wchar_t* TypeName(DWORD type) {
    switch (type) {
        case REG_SZ:
            return L"REG_SZ";
        case REG_EXPAND_SZ:
            return L"REG_EXPAND_SZ";
        case REG_DWORD:
            return L"REG_DWORD";
        case REG_MULTI_SZ:
            return L"REG_MULTI_SZ";
        case REG_QWORD:
            return L"REG_QWORD";
        case REG_NONE:
            return L"REG_NONE";
        default:
            return L"REG_BINARY";
    }
}

}  // namespace

std::wstring RegistryText(const BYTE* data, size_t size) {
    std::wstring text(size / sizeof(wchar_t), L'\0');
    if (!text.empty()) {
        memcpy(&text[0], data, text.size() * sizeof(wchar_t));
    }
    const size_t end = text.find(L'\0');
    return end == std::wstring::npos ? text : text.substr(0, end);
}

std::wstring RegistryValueLine(const wchar_t* name, DWORD type, const BYTE* data, size_t size) {
    std::wstring line = std::wstring(L"    (") + TypeName(type) + L") " + name;
    line.append(wcslen(name) < 8 ? 8 - wcslen(name) : 0, L' ');
    line += L" = ";
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        line += RegistryText(data, size);
    } else if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD number = 0;
        memcpy(&number, data, sizeof(number));
        line += std::to_wstring(number);
    } else {
        line += L"<" + std::to_wstring(size) + L" bytes>";
    }
    return line + L"\n";
}
