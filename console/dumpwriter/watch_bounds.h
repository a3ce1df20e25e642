// The bounds a long watch sets on its disk use: the free space it leaves
// (-free) and the number of its files it keeps (-keep).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/dumpwriter/dump_request.h"

// -free: true when at least freeMB megabytes are free for us on the volume
// of the dump folder. Otherwise prints one line that says why and returns
// false; a volume whose free space cannot be read counts as too full.
// *freeNow is the free space seen, in megabytes.
bool EnoughFreeSpace(const wchar_t* dumpPath, uint64_t freeMB, uint64_t* freeNow);

// -keep: deletes the oldest numbered files of the dump path's name beyond
// the newest keep ones (each with its clone dump, side file and metadata),
// printing a line for each. Returns the paths deleted. A file another
// program is still writing is left alone.
std::vector<std::wstring> KeepNewestFiles(const wchar_t* dumpPath, uint32_t keep, KeptFiles kept);
