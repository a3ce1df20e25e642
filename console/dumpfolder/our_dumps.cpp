#include "console/dumpfolder/our_dumps.h"

#include <windows.h>
#include <shlwapi.h>

#include "common/unique_resource.h"
#include "console/dumpfolder/folder_files.h"
#include "console/dumpfolder/series_files.h"
#include "console/dumpwriter/dump_check.h"
#include "console/dumpwriter/dump_ownership.h"

std::vector<DumpCandidate> OurDumpsBeside(const wchar_t* dumpPath, KeptFiles kept) {
    const std::wstring baseName = DumpBaseName(dumpPath);
    const std::wstring plainName = PathFindFileNameW(dumpPath);
    std::vector<DumpCandidate> candidates;
    for (const FolderFile& file : FilesBesideDumpPath(dumpPath)) {
        wchar_t path[MAX_PATH];
        if (!HasKeptNaming(file.name, kept, baseName, plainName) ||
            !PathBesideDumpPath(dumpPath, file.name, path)) {
            continue;
        }
        UniqueFile dump = OpenDumpForReading(path);
        if (dump) {
            candidates.push_back({file.name, file.written, DumpFileIsOurs(dump.Get())});
        }
    }
    return candidates;
}
