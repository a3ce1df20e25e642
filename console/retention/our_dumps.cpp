#include "console/retention/our_dumps.h"

#include <windows.h>
#include <shlwapi.h>

#include "common/unique_resource.h"
#include "console/dumpwriter/dump_check.h"
#include "console/retention/folder_files.h"
#include "console/retention/series_files.h"

namespace {

bool IsCompleteDump(const wchar_t* path) {
    UniqueFile file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && DumpFileIsComplete(file.Get());
}

}  // namespace

std::vector<DumpCandidate> OurDumpsBeside(const wchar_t* dumpPath, KeptFiles kept) {
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
