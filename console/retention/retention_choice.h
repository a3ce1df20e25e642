// Which of the dumps in a folder -keep deletes: a plain choice over names,
// times and what each file holds, so that every case can be tried without
// a disk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/dumpfolder/our_dumps.h"

// The dumps of ours to delete, oldest first, so that at most keep remain.
// The newest are those written last (by file time, not by name, so that a
// name taken again or a clock set back cannot make a new dump look old);
// files of equal time are told apart by name. The file just written is
// never deleted and counts among the kept, whatever its time says and
// whether or not it is listed (its series holds it open, so it usually is
// not). With keep 0 nothing is deleted.
std::vector<std::wstring> DumpsToDelete(const std::vector<DumpCandidate>& candidates,
                                        const std::wstring& justWritten, uint32_t keep);
