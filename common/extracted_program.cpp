#include "common/extracted_program.h"

#include <windows.h>

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
                return true;
            case ResourceFileOutcome::kNameTaken:
                continue;
            case ResourceFileOutcome::kFailed:
                return false;
        }
    }
    return false;
}

void ExtractedProgram::Remove() {
    if (!path_.empty()) {
        DeleteFileW(path_.c_str());
        path_.clear();
    }
}
