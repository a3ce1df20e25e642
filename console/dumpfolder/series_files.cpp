#include "console/dumpfolder/series_files.h"

#include <cwchar>
#include <cwctype>

#include <shlwapi.h>

#include <algorithm>

#include "common/bounded_text.h"

namespace {

constexpr wchar_t kDumpExtension[] = L".dmp";
// The date and the time of a folder dump's name: six digits each.
constexpr size_t kStampDigits = 6;
// The number a taken name gets: up to nine digits.
constexpr size_t kMostTakenDigits = 9;

bool SameLetters(const wchar_t* a, const wchar_t* b, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (towlower(a[i]) != towlower(b[i])) {
            return false;
        }
    }
    return true;
}

// Between least and most characters, every one a digit.
bool DigitsOnly(const std::wstring& part, size_t least, size_t most) {
    if (part.size() < least || part.size() > most) {
        return false;
    }
    for (wchar_t c : part) {
        if (c < L'0' || c > L'9') {
            return false;
        }
    }
    return true;
}

// Where both readings (with and without the number of a taken name) fit,
// either will do.
bool FolderNamed(const std::wstring& name) {
    const std::wstring extension = kDumpExtension;
    if (name.size() < extension.size() ||
        !SameLetters(name.c_str() + name.size() - extension.size(), extension.c_str(),
                     extension.size())) {
        return false;
    }
    const std::wstring stem = name.substr(0, name.size() - extension.size());
    std::vector<std::wstring> parts;
    for (size_t start = 0;;) {
        const size_t underscore = stem.find(L'_', start);
        parts.push_back(stem.substr(start, underscore - start));
        if (underscore == std::wstring::npos) {
            break;
        }
        start = underscore + 1;
    }
    for (size_t numbered = 0; numbered <= 1; ++numbered) {
        const size_t tail = 3 + numbered;  // pid, date, time and the number
        if (parts.size() < tail + 1) {
            break;
        }
        const size_t pid = parts.size() - tail;
        const bool imageNamed = pid > 1 || !parts[0].empty();
        if (imageNamed && DigitsOnly(parts[pid], 1, SIZE_MAX) &&
            DigitsOnly(parts[pid + 1], kStampDigits, kStampDigits) &&
            DigitsOnly(parts[pid + 2], kStampDigits, kStampDigits) &&
            (!numbered || DigitsOnly(parts.back(), 1, kMostTakenDigits))) {
            return true;
        }
    }
    return false;
}

// The digits between "<baseName>_" and ".dmp", as a number.
std::optional<uint32_t> NumberIn(const std::wstring& name, const std::wstring& baseName) {
    const std::wstring extension = kDumpExtension;
    const size_t prefix = baseName.size() + 1;
    if (name.size() <= prefix + extension.size() ||
        !SameLetters(name.c_str(), baseName.c_str(), baseName.size()) ||
        name[baseName.size()] != L'_' ||
        !SameLetters(name.c_str() + name.size() - extension.size(), extension.c_str(),
                     extension.size())) {
        return std::nullopt;
    }
    uint64_t number = 0;
    for (size_t i = prefix; i < name.size() - extension.size(); ++i) {
        if (name[i] < L'0' || name[i] > L'9') {
            return std::nullopt;
        }
        number = number * 10 + static_cast<uint64_t>(name[i] - L'0');
        if (number > UINT32_MAX) {
            return std::nullopt;
        }
    }
    return static_cast<uint32_t>(number);
}

}  // namespace

std::vector<NumberedFile> NumberedFilesOf(const std::vector<std::wstring>& names,
                                          const std::wstring& baseName) {
    std::vector<NumberedFile> files;
    for (const std::wstring& name : names) {
        if (std::optional<uint32_t> number = NumberIn(name, baseName)) {
            files.push_back({*number, name});
        }
    }
    std::sort(files.begin(), files.end(), [](const NumberedFile& a, const NumberedFile& b) {
        return a.number != b.number ? a.number < b.number : a.name < b.name;
    });
    return files;
}

std::vector<std::wstring> NamesOf(const std::vector<FolderFile>& files) {
    std::vector<std::wstring> names;
    for (const FolderFile& file : files) {
        names.push_back(file.name);
    }
    return names;
}

bool BuildJitFolderDumpPath(wchar_t (&out)[MAX_PATH], const wchar_t* folder,
                            const wchar_t* imageName, uint32_t processId, const SYSTEMTIME& now) {
    wchar_t base[MAX_PATH];
    wchar_t image[MAX_PATH];
    if (!CopyBounded(base, MAX_PATH, folder) ||
        !CopyBounded(image, MAX_PATH, imageName[0] != L'\0' ? imageName : L"process")) {
        out[0] = L'\0';
        return false;
    }
    // One separator between folder and name, whatever the folder ends with.
    size_t length = wcslen(base);
    while (length > 0 && base[length - 1] == L'\\') {
        base[--length] = L'\0';
    }
    PathRemoveExtensionW(image);
    if (!FormatBounded(out, MAX_PATH, L"%s\\%s_%u_%02d%02d%02d_%02d%02d%02d%s", base, image,
                       processId, now.wYear % 100, now.wMonth, now.wDay, now.wHour, now.wMinute,
                       now.wSecond, kDumpExtension)) {
        out[0] = L'\0';
        return false;
    }
    return true;
}

bool HasFolderDumpNaming(const std::wstring& name) {
    return FolderNamed(name);
}

bool HasKeptNaming(const std::wstring& name, KeptFiles kept, const std::wstring& baseName,
                   const std::wstring& plainName) {
    switch (kept) {
        case KeptFiles::kFolderNaming:
            return FolderNamed(name);
        case KeptFiles::kPlainAndNumbered:
            if (_wcsicmp(name.c_str(), plainName.c_str()) == 0) {
                return true;
            }
            break;
        case KeptFiles::kNumbered:
            break;
    }
    return NumberIn(name, baseName).has_value();
}

std::optional<uint32_t> NextFileNumber(const std::vector<NumberedFile>& files) {
    if (files.empty()) {
        return 0u;
    }
    const uint32_t highest = files.back().number;
    if (highest == UINT32_MAX) {
        return std::nullopt;
    }
    return highest + 1;
}

bool NumberedDumpName(const wchar_t* dumpPath, uint32_t index, wchar_t (&name)[MAX_PATH]) {
    wchar_t base[MAX_PATH];
    if (!CopyBounded(base, MAX_PATH, dumpPath)) {
        name[0] = L'\0';
        return false;
    }
    PathRemoveExtensionW(base);
    return FormatBounded(name, MAX_PATH, L"%s_%u.dmp", base, index);
}
