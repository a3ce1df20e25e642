// -keep: bounding the number of dumps a run keeps in its folder.
#pragma once

#include <cstdint>
#include <vector>

#include "console/dumpfolder/dump_deletion.h"
#include "console/retention/retention_policy.h"

// Under the folder lock: deletes the oldest dumps of ours beside dumpPath
// beyond the newest keep ones (each with its companions), printing a line
// for each; justWritten (a full path) is never deleted and counts among the
// kept. Ours are the files with the run's naming that are complete
// minidumps carrying our comment; a file another program is still writing,
// and the dump a live series of ours has just written (it holds it open),
// cannot be read and are left alone, as is every file of other content,
// whatever its name. Without the lock nothing is deleted. Returns the dumps
// deleted (a reflected clone's among them).
std::vector<DeletedDumpFile> KeepNewestDumps(const wchar_t* dumpPath, const wchar_t* justWritten,
                                             uint32_t keep, KeptFiles kept);
