#include "console/dumpwriter/series_files.h"

#include <cwchar>
#include <cwctype>

#include <algorithm>
#include <regex>
#include <tuple>

namespace {

bool SameLetters(const wchar_t* a, const wchar_t* b, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (towlower(a[i]) != towlower(b[i])) {
            return false;
        }
    }
    return true;
}

// The digits between "<baseName>_" and ".dmp", as a number.
std::optional<uint32_t> NumberIn(const std::wstring& name, const std::wstring& baseName) {
    const std::wstring extension = L".dmp";
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

std::vector<NumberedFile> FolderNamedFilesOf(const std::vector<FolderFile>& files) {
    static const std::wregex kFolderName(L"^.+_[0-9]+_([0-9]{6})_([0-9]{6})(_[0-9]{1,9})?\\.dmp$",
                                         std::regex::icase);
    // (date, time, when written, name)
    std::vector<std::tuple<std::wstring, std::wstring, uint64_t, std::wstring>> found;
    for (const FolderFile& file : files) {
        std::wsmatch match;
        if (std::regex_match(file.name, match, kFolderName)) {
            found.emplace_back(match[1].str(), match[2].str(), file.written, file.name);
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<NumberedFile> ordered;
    for (const auto& entry : found) {
        ordered.push_back({static_cast<uint32_t>(ordered.size()), std::get<3>(entry)});
    }
    return ordered;
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

std::vector<NumberedFile> FilesBeyondKeep(const std::vector<NumberedFile>& files, uint32_t keep) {
    if (files.size() <= keep) {
        return {};
    }
    return std::vector<NumberedFile>(files.begin(), files.end() - keep);
}

uint64_t GapWaitMilliseconds(uint64_t previousStart, uint64_t now, uint32_t gapSeconds) {
    const uint64_t due = previousStart + static_cast<uint64_t>(gapSeconds) * 1000;
    return now >= due ? 0 : due - now;
}
