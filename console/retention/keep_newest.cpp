#include "console/retention/keep_newest.h"

#include <windows.h>
#include <shlwapi.h>

#include "common/console_output.h"
#include "console/retention/dump_deletion.h"
#include "console/retention/folder_files.h"
#include "console/retention/our_dumps.h"
#include "console/retention/retention_choice.h"

std::vector<DeletedDump> KeepNewestDumps(const wchar_t* dumpPath, const wchar_t* justWritten,
                                         uint32_t keep, KeptFiles kept) {
    std::vector<DeletedDump> deleted;
    const std::vector<DumpCandidate> candidates = OurDumpsBeside(dumpPath, kept);
    for (const std::wstring& name :
         DumpsToDelete(candidates, PathFindFileNameW(justWritten), keep)) {
        wchar_t path[MAX_PATH];
        if (!PathBesideDumpPath(dumpPath, name, path)) {
            continue;
        }
        const DumpDeletion deletion = DeleteDumpWithCompanions(path);
        if (deletion.deleted) {
            PrintWide(L"Deleted old dump file %s\n", path);
            deleted.push_back({path, deletion.sent});
        }
    }
    return deleted;
}
