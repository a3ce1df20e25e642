#include "console/retention/keep_newest.h"

#include <windows.h>
#include <shlwapi.h>

#include "common/console_output.h"
#include "console/dumpfolder/folder_files.h"
#include "console/dumpfolder/folder_lock.h"
#include "console/dumpfolder/our_dumps.h"
#include "console/retention/retention_choice.h"

std::vector<DeletedDumpFile> KeepNewestDumps(const wchar_t* dumpPath, const wchar_t* justWritten,
                                             uint32_t keep, KeptFiles kept) {
    std::vector<DeletedDumpFile> deleted;
    const FolderLockHold lock(dumpPath,
                              L"-keep deletes nothing now: failed to lock the dump folder");
    if (!lock.Held()) {
        return deleted;
    }
    const std::vector<DumpCandidate> candidates = OurDumpsBeside(dumpPath, kept);
    for (const std::wstring& name :
         DumpsToDelete(candidates, PathFindFileNameW(justWritten), keep)) {
        wchar_t path[MAX_PATH];
        if (!PathBesideDumpPath(dumpPath, name, path)) {
            continue;
        }
        for (DeletedDumpFile& dump : DeleteDumpWithCompanions(path)) {
            PrintWide(L"Deleted old dump file %s\n", dump.path.c_str());
            deleted.push_back(std::move(dump));
        }
    }
    return deleted;
}
