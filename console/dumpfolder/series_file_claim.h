// Naming and creating each file of a series.
#pragma once

#include <windows.h>

#include <cstdint>

#include "common/unique_resource.h"
#include "console/dumpwriter/dump_request.h"
#include "console/dumpfolder/naming_policy.h"

struct SeriesFile {
    UniqueFile file;
    wchar_t name[MAX_PATH];
    DWORD error;  // why the file could not be created
};

// Names file `index` of the series and creates it: the plain dump path for a
// single file, "<path>_<index>.dmp" for a series of several, or, when the
// run numbers across series, the run's next number (one taken meanwhile is
// passed over, and so is one still being deleted). Without overwrite an
// existing file is never replaced. On
// failure "Failed to create dump file" has been reported and false returned.
bool CreateSeriesFile(const DumpRequest& request, const NamingPolicy& policy,
                      NumberingState& numbering, uint32_t index, SeriesFile* created);
