// -keep: bounding the number of dumps a run keeps in its folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/retention/retention_policy.h"

struct DeletedDump {
    std::wstring path;
    bool sent;  // a crash server had it (its .sent record)
};

// Deletes the oldest dumps of ours beside dumpPath beyond the newest keep
// ones (each with its companions), printing a line for each; justWritten
// (a full path) is never deleted. Ours are the files with the run's naming
// that are complete minidumps; a file another program is still writing
// cannot be read and is left alone, as is every file of other content,
// whatever its name. Returns the dumps deleted.
std::vector<DeletedDump> KeepNewestDumps(const wchar_t* dumpPath, const wchar_t* justWritten,
                                         uint32_t keep, KeptFiles kept);
