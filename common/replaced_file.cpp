#include "common/replaced_file.h"

#include "common/unique_resource.h"

namespace {

bool WriteWholeFile(const wchar_t* path, const std::string& text, DWORD* error) {
    UniqueFile file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        *error = GetLastError();
        return false;
    }
    DWORD written = 0;
    if (!WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
        *error = GetLastError();
        return false;
    }
    if (written != text.size()) {
        *error = ERROR_DISK_FULL;
        return false;
    }
    // On disk before the rename makes it visible under its real name.
    if (!FlushFileBuffers(file.Get())) {
        *error = GetLastError();
        return false;
    }
    return true;
}

}  // namespace

bool WriteFileByRename(const wchar_t* finalPath, const wchar_t* tempPath, const std::string& text,
                       DWORD* error) {
    if (text.size() > MAXDWORD) {
        *error = ERROR_INVALID_PARAMETER;
        return false;
    }
    if (!WriteWholeFile(tempPath, text, error)) {
        DeleteFileW(tempPath);
        return false;
    }
    if (!MoveFileExW(tempPath, finalPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        *error = GetLastError();
        DeleteFileW(tempPath);
        return false;
    }
    return true;
}
