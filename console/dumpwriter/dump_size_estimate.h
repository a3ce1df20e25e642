// How large a dump of the request is likely to be, for -free to keep room
// for it before writing.
#pragma once

#include <cstdint>

#include "console/dumpwriter/dump_request.h"

// A full-memory or MiniPlus dump holds (at most) the target's committed
// private memory, which one query reads; that is the estimate, in bytes. A
// mini dump is small whatever the process holds: 0. A reflected dump's clone
// is written with the run's word, so the estimate is the same. 0 when the
// query fails.
uint64_t EstimatedDumpBytes(const DumpRequest& request);
