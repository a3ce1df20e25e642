#include "common/replaced_file.h"

#include "common/unique_resource.h"

namespace {

// Writes the text into a file it creates new; *created says whether the
// file is there to be deleted after a failure.
bool WriteWholeFile(const wchar_t* path, const std::string& text, bool* created, DWORD* error) {
    UniqueFile file(
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    *created = file.IsValid();
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
                       FinalFile final, DWORD* error) {
    if (text.size() > MAXDWORD) {
        *error = ERROR_INVALID_PARAMETER;
        return false;
    }
    bool created = false;
    if (!WriteWholeFile(tempPath, text, &created, error)) {
        if (created) {
            DeleteFileW(tempPath);  // ours, cut short
        }
        return false;
    }
    const DWORD replace = final == FinalFile::kReplace ? MOVEFILE_REPLACE_EXISTING : 0;
    if (!MoveFileExW(tempPath, finalPath, replace | MOVEFILE_WRITE_THROUGH)) {
        *error = GetLastError();
        DeleteFileW(tempPath);
        return false;
    }
    return true;
}
