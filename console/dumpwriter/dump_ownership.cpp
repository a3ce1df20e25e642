#include "console/dumpwriter/dump_ownership.h"

#include <cwchar>
#include <vector>

#include "console/dumpwriter/minidump_layout.h"

namespace {

constexpr uint32_t kCommentStreamW = 11;
// The head and the program's path are all the check reads.
constexpr uint32_t kCommentBytesRead = 2 * 1024;
constexpr wchar_t kHead[] = L"\n*** ";
constexpr wchar_t kProgramStem[] = L"varnhold";

// The program as the command line names it: up to the closing quote, or
// up to the first blank when it is not quoted.
std::wstring ProgramOf(const std::wstring& commandLine) {
    if (!commandLine.empty() && commandLine[0] == L'"') {
        const size_t close = commandLine.find(L'"', 1);
        return commandLine.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
    }
    return commandLine.substr(0, commandLine.find_first_of(L" \t\n"));
}

}  // namespace

bool IsOurDumpComment(const std::wstring& text) {
    const size_t headLength = wcslen(kHead);
    if (text.compare(0, headLength, kHead) != 0) {
        return false;
    }
    const std::wstring program = ProgramOf(text.substr(headLength));
    const size_t slash = program.find_last_of(L"\\/");
    const std::wstring name = slash == std::wstring::npos ? program : program.substr(slash + 1);
    const size_t stemLength = wcslen(kProgramStem);
    return name.size() >= stemLength && _wcsnicmp(name.c_str(), kProgramStem, stemLength) == 0;
}

bool DumpCommentIsOurs(const DumpBytesReader& read, uint64_t fileSize) {
    MinidumpHeader header = {};
    if (fileSize < sizeof(header) || !read(0, &header, sizeof(header)) ||
        header.streamCount > fileSize / sizeof(MinidumpDirectoryEntry)) {
        return false;
    }
    std::vector<MinidumpDirectoryEntry> directory(header.streamCount);
    if (directory.empty() ||
        !read(header.directoryRva, directory.data(),
              static_cast<uint32_t>(directory.size() * sizeof(MinidumpDirectoryEntry)))) {
        return false;
    }
    for (const MinidumpDirectoryEntry& entry : directory) {
        if (entry.type != kCommentStreamW || entry.rva > fileSize ||
            entry.size > fileSize - entry.rva) {
            continue;
        }
        const uint32_t bytes = entry.size < kCommentBytesRead ? entry.size : kCommentBytesRead;
        std::wstring text(bytes / sizeof(wchar_t), L'\0');
        if (!text.empty() && !read(entry.rva, &text[0], bytes - bytes % 2)) {
            return false;
        }
        return IsOurDumpComment(text.c_str());
    }
    return false;
}

bool DumpFileIsOurs(HANDLE file) {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size)) {
        return false;
    }
    const uint64_t bytes = static_cast<uint64_t>(size.QuadPart);
    const DumpBytesReader read = FileBytesReader(file);
    return DumpExtentsLieInFile(read, bytes) && DumpCommentIsOurs(read, bytes);
}

bool DumpFileAtIsOurs(const wchar_t* path) {
    UniqueFile file = OpenDumpForReading(path);
    return file && DumpFileIsOurs(file.Get());
}
