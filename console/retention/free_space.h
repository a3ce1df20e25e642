// -free: the free space a run leaves on the volume of its dump folder.
#pragma once

#include <cstdint>

// True when, after a dump of about dumpBytes, at least freeMB megabytes
// would still be free for us on the volume of the dump folder. Otherwise
// prints one line that says why and returns false; a volume whose free
// space cannot be read counts as too full. *freeNow is the free space seen,
// in megabytes.
bool EnoughFreeSpace(const wchar_t* dumpPath, uint64_t freeMB, uint64_t dumpBytes,
                     uint64_t* freeNow);
