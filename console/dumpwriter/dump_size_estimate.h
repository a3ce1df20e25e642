// How large a dump of the request is likely to be, for -free to keep room
// for it before writing.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "console/dumpwriter/dump_request.h"

// A full-memory dump holds every committed region that can be read: private
// memory, but also mapped files and the images of the modules. That sum of
// the regions given (from VirtualQueryEx) is its size, near enough.
uint64_t FullMemoryBytesOf(const std::vector<MEMORY_BASIC_INFORMATION>& regions);

// The estimate in bytes: for a full-memory dump the sum above, read region
// by region from the target (the commit charge when that walk fails); for a
// MiniPlus dump, which adds private memory, the commit charge; a mini dump
// is small whatever the process holds: 0. A reflected dump's clone is
// written with the run's word, so the estimate is the same. 0 when nothing
// can be read.
uint64_t EstimatedDumpBytes(const DumpRequest& request);
