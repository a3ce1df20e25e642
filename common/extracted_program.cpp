#include "common/extracted_program.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "common/resource_file.h"

namespace {

// Enough for stale files of earlier runs whose process identifier came back.
constexpr uint32_t kNameAttempts = 100;

}  // namespace

std::wstring ExtractedProgramName(const std::wstring& folder, const wchar_t* stem,
                                  uint32_t processId, uint32_t attempt) {
    std::wstring name = folder;
    if (!name.empty() && name.back() != L'\\') {
        name += L'\\';
    }
    name += stem;
    name += L'-' + std::to_wstring(processId);
    if (attempt != 0) {
        name += L'-' + std::to_wstring(attempt);
    }
    name += L".exe";
    return name.size() < MAX_PATH ? name : std::wstring();
}

bool OwnProgramFolder(std::wstring* folder) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return false;  // a cut path would name some other folder
    }
    std::wstring text(path, length);
    const size_t slash = text.find_last_of(L'\\');
    *folder = slash == std::wstring::npos ? std::wstring() : text.substr(0, slash);
    return true;
}

bool UserTempFolder(std::wstring* folder) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, path);
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    std::wstring text(path, length);
    while (!text.empty() && text.back() == L'\\') {
        text.pop_back();
    }
    *folder = text;
    return !text.empty();
}

ExtractedProgram::~ExtractedProgram() {
    Remove();
}

bool ExtractedProgram::Extract(int resourceId, const std::wstring& folder, const wchar_t* stem) {
    Remove();
    const uint32_t self = GetCurrentProcessId();
    for (uint32_t attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::wstring name = ExtractedProgramName(folder, stem, self, attempt);
        if (name.empty()) {
            return false;
        }
        switch (WriteResourceToNewFile(resourceId, name.c_str())) {
            case ResourceFileOutcome::kWritten:
                path_ = name;
                if (!Guard(resourceId)) {
                    Remove();
                    return false;
                }
                return true;
            case ResourceFileOutcome::kNameTaken:
                continue;
            case ResourceFileOutcome::kFailed:
                return false;
        }
    }
    return false;
}

bool ExtractedProgram::Guard(int resourceId) {
    // Reopened before anything runs it: the system's loader reads an image
    // with read sharing, which this handle allows; a writer or a deleter is
    // refused while it is open.
    guard_.Reset(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    const void* bytes = nullptr;
    DWORD size = 0;
    if (!guard_ || !FindResourceBytes(resourceId, &bytes, &size)) {
        return false;
    }
    std::vector<char> content(size + 1);
    DWORD read = 0;
    return ReadFile(guard_.Get(), content.data(), size + 1, &read, nullptr) && read == size &&
           memcmp(content.data(), bytes, size) == 0;
}

void ExtractedProgram::Remove() {
    guard_.Reset();
    if (!path_.empty()) {
        DeleteFileW(path_.c_str());
        path_.clear();
    }
}
