#include "common/resource_file.h"

#include "common/unique_resource.h"

bool FindResourceBytes(int resourceId, const void** bytes, DWORD* size) {
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(self, MAKEINTRESOURCEW(resourceId), L"BINRES");
    if (found == nullptr) {
        return false;
    }
    *size = SizeofResource(self, found);
    HGLOBAL loaded = LoadResource(self, found);
    *bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    return *bytes != nullptr && *size != 0;
}

ResourceFileOutcome WriteResourceToNewFile(int resourceId, const wchar_t* path) {
    const void* bytes = nullptr;
    DWORD size = 0;
    if (!FindResourceBytes(resourceId, &bytes, &size)) {
        return ResourceFileOutcome::kFailed;
    }
    UniqueFile file(
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        const bool taken =
            error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
            (error == ERROR_ACCESS_DENIED && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES);
        return taken ? ResourceFileOutcome::kNameTaken : ResourceFileOutcome::kFailed;
    }
    DWORD written = 0;
    // A short write would leave a program that cannot run, or runs wrongly.
    bool complete = WriteFile(file.Get(), bytes, size, &written, nullptr) && written == size;
    complete = CloseHandle(file.Release()) && complete;
    if (!complete) {
        DeleteFileW(path);
        return ResourceFileOutcome::kFailed;
    }
    return ResourceFileOutcome::kWritten;
}
