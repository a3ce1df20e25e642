// The files beside a dump path that have the run's naming, and which of them
// are dumps of ours: what -keep and -rate count.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/dumpfolder/naming_policy.h"

// A file of the dump folder that has the run's naming.
struct DumpCandidate {
    std::wstring name;  // without directory
    uint64_t written;   // last write time, 100 ns units
    // A complete minidump (it begins with the minidump signature and every
    // stream its directory names lies in the file) that carries our comment
    // stream. Nothing else is a dump of ours, whatever its name: a foreign
    // file is never counted and never deleted.
    bool ours;
};

// A dump is ours only once it reads back whole with our comment; a file that
// cannot be opened for reading (another program writing it, or a live series
// of ours holding the dump it has just written) is not listed at all.
std::vector<DumpCandidate> OurDumpsBeside(const wchar_t* dumpPath, KeptFiles kept);
