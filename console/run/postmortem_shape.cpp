#include "console/run/postmortem_shape.h"

#include <cstring>
#include <cwchar>

namespace {

bool StartsWith(const wchar_t* text, const wchar_t* prefix) {
    return wcsncmp(text, prefix, wcslen(prefix)) == 0;
}

bool IsOurProgramName(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const wchar_t prefix[] = L"varnhold";
    const wchar_t suffix[] = L".exe";
    const size_t prefixLength = wcslen(prefix);
    const size_t suffixLength = wcslen(suffix);
    return name.size() >= prefixLength + suffixLength &&
           _wcsnicmp(name.c_str(), prefix, prefixLength) == 0 &&
           _wcsicmp(name.c_str() + name.size() - suffixLength, suffix) == 0;
}

// Past the one dump-content option that -i may carry, or null when what
// follows the program is none of them and not -j either.
const wchar_t* SkipContentOption(const wchar_t* rest) {
    if (StartsWith(rest, L" -ma") || StartsWith(rest, L" -mp")) {
        return rest + 4;
    }
    if (StartsWith(rest, L" -d \"")) {
        const wchar_t* close = wcschr(rest + 5, L'"');
        return close != nullptr ? close + 1 : nullptr;
    }
    return rest;
}

// Past " -<name> <digits>" when rest starts with it.
const wchar_t* SkipNumberOption(const wchar_t* rest, const wchar_t* option) {
    if (!StartsWith(rest, option)) {
        return rest;
    }
    const wchar_t* digits = rest + wcslen(option);
    const wchar_t* end = digits;
    while (*end >= L'0' && *end <= L'9') {
        ++end;
    }
    return end != digits ? end : rest;
}

// Past the bounds -i may carry after the content option, in their order.
const wchar_t* SkipBounds(const wchar_t* rest) {
    rest = SkipNumberOption(rest, L" -keep ");
    rest = SkipNumberOption(rest, L" -free ");
    return StartsWith(rest, L" -meta") ? rest + 6 : rest;
}

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

bool IsOurDebuggerCommand(const wchar_t* command) {
    if (command[0] != L'"') {
        return false;
    }
    const wchar_t* close = wcschr(command + 1, L'"');
    if (close == nullptr || !IsOurProgramName(std::wstring(command + 1, close))) {
        return false;
    }
    const wchar_t* rest = SkipContentOption(close + 1);
    return rest != nullptr && StartsWith(SkipBounds(rest), L" -j \"");
}

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
