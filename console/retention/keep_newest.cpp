#include "console/retention/keep_newest.h"

#include <windows.h>
#include <shlwapi.h>

#include "common/console_output.h"
#include "common/unique_resource.h"
#include "console/dumpwriter/dump_check.h"
#include "console/retention/dump_deletion.h"
#include "console/retention/folder_files.h"
#include "console/retention/retention_choice.h"
#include "console/retention/series_files.h"

namespace {

// A dump is ours only once it reads back whole; a file that cannot be
// opened for reading (another program writing it) is not counted.
bool IsCompleteDump(const wchar_t* path) {
    UniqueFile file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && DumpFileIsComplete(file.Get());
}

std::vector<DumpCandidate> CandidatesBeside(const wchar_t* dumpPath, KeptFiles kept) {
    const std::wstring baseName = DumpBaseName(dumpPath);
    const std::wstring plainName = PathFindFileNameW(dumpPath);
    std::vector<DumpCandidate> candidates;
    for (const FolderFile& file : FilesBesideDumpPath(dumpPath)) {
        wchar_t path[MAX_PATH];
        if (HasKeptNaming(file.name, kept, baseName, plainName) &&
            PathBesideDumpPath(dumpPath, file.name, path)) {
            candidates.push_back({file.name, file.written, IsCompleteDump(path)});
        }
    }
    return candidates;
}

}  // namespace

std::vector<std::wstring> KeepNewestDumps(const wchar_t* dumpPath, const wchar_t* justWritten,
                                          uint32_t keep, KeptFiles kept) {
    std::vector<std::wstring> deleted;
    const std::vector<DumpCandidate> candidates = CandidatesBeside(dumpPath, kept);
    for (const std::wstring& name :
         DumpsToDelete(candidates, PathFindFileNameW(justWritten), keep)) {
        wchar_t path[MAX_PATH];
        if (PathBesideDumpPath(dumpPath, name, path) && DeleteDumpWithCompanions(path)) {
            PrintWide(L"Deleted old dump file %s\n", path);
            deleted.emplace_back(path);
        }
    }
    return deleted;
}
