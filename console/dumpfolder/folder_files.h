// The files of the dump folder, as the naming and retention code sees them.
#pragma once

#include <string>
#include <vector>

#include "console/dumpfolder/series_files.h"

// The plain files in the folder that holds dumpPath: the dump path's own
// folder, or the current one when it names none. Empty when the folder
// cannot be listed.
std::vector<FolderFile> FilesBesideDumpPath(const wchar_t* dumpPath);

// The file name of the dump path without directory and extension: the base
// of its numbered names.
std::wstring DumpBaseName(const wchar_t* dumpPath);

// "<folder of dumpPath>\<name>", or the name alone when the dump path names
// no folder. False when it would not fit a path buffer.
bool PathBesideDumpPath(const wchar_t* dumpPath, const std::wstring& name,
                        wchar_t (&path)[MAX_PATH]);
