// The bounds a long watch sets on its disk use: the free space it leaves
// (-free) and the number of its files it keeps (-keep).
#pragma once

#include <cstdint>

// -free: true when at least freeMB megabytes are free for us on the volume
// of the dump folder. Otherwise prints one line that says why and returns
// false; a volume whose free space cannot be read counts as too full.
bool EnoughFreeSpace(const wchar_t* dumpPath, uint64_t freeMB);

// -keep: deletes the oldest numbered files of the dump path's name beyond
// the newest keep ones (each with its clone dump, side file and metadata),
// printing a line for each. Returns how many were deleted. A file another
// program is still writing is left alone.
uint32_t KeepNewestFiles(const wchar_t* dumpPath, uint32_t keep);
