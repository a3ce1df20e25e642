#include "common/resource_file.h"

#include "common/unique_resource.h"

bool WriteResourceToFile(int resourceId, const wchar_t* path) {
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(self, MAKEINTRESOURCEW(resourceId), L"BINRES");
    if (found == nullptr) {
        return false;
    }
    const DWORD size = SizeofResource(self, found);
    HGLOBAL loaded = LoadResource(self, found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr || size == 0) {
        return false;
    }
    UniqueFile file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    DWORD written = 0;
    // A short write would leave a program that cannot run, or runs wrongly.
    bool complete = WriteFile(file.Get(), bytes, size, &written, nullptr) && written == size;
    complete = CloseHandle(file.Release()) && complete;
    if (!complete) {
        DeleteFileW(path);
    }
    return complete;
}
