// The files of the dump folder, as the long-watch options see them.
#pragma once

#include <string>
#include <vector>

#include "console/dumpwriter/series_files.h"

// The plain files in the folder that holds dumpPath: the dump path's own
// folder, or the current one when it names none. Empty when the folder
// cannot be listed.
std::vector<FolderFile> FilesBesideDumpPath(const wchar_t* dumpPath);

// The file name of the dump path without directory and extension: the base
// of its numbered names.
std::wstring DumpBaseName(const wchar_t* dumpPath);

// Deletes a dump file and what travels with it: the clone dump and side file
// of a reflected dump, and the metadata file. True when the dump itself was
// deleted (a file another program is still writing is not).
bool DeleteDumpWithCompanions(const wchar_t* dumpFile);
