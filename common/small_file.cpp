#include "common/small_file.h"

#include "common/unique_resource.h"

namespace {

UniqueFile OpenSharing(const wchar_t* path) {
    return UniqueFile(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

std::optional<std::string> ReadSmallFile(const wchar_t* path, DWORD limit, DWORD* error) {
    UniqueFile file = OpenSharing(path);
    *error = file ? ERROR_SUCCESS : GetLastError();
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.Get(), &size) || size.QuadPart > limit) {
        return std::nullopt;
    }
    std::string text(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!text.empty() &&
        (!ReadFile(file.Get(), &text[0], static_cast<DWORD>(text.size()), &read, nullptr) ||
         read != text.size())) {
        return std::nullopt;
    }
    return text;
}

std::string ReadFileHead(const wchar_t* path, DWORD limit) {
    UniqueFile file = OpenSharing(path);
    if (!file) {
        return std::string();
    }
    std::string head(limit, '\0');
    DWORD read = 0;
    if (!ReadFile(file.Get(), &head[0], limit, &read, nullptr)) {
        return std::string();
    }
    head.resize(read);
    return head;
}
