// The files beside a dump path that have the run's naming, and which of them
// are complete dumps: what -keep and -rate count.
#pragma once

#include <vector>

#include "console/retention/retention_choice.h"
#include "console/retention/retention_policy.h"

// A dump is ours only once it reads back whole; a file that cannot be opened
// for reading (another program writing it) is not counted.
std::vector<DumpCandidate> OurDumpsBeside(const wchar_t* dumpPath, KeptFiles kept);
