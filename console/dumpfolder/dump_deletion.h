// Deleting a dump of ours together with what travels with it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The name a dump takes for the moment of its deletion: its own with this
// added. No scan of ours counts or sends a file of that name.
constexpr wchar_t kDeletingSuffix[] = L".deleting";

// "<dump file>.deleting"; false when it would not fit a path buffer.
bool DeletingName(const wchar_t* dumpFile, wchar_t (&name)[MAX_PATH]);

// A dump file deleted, and whether a crash server has it (its .sent record
// was ours and said so).
struct DeletedDumpFile {
    std::wstring path;
    bool sent = false;
};

// Deletes a dump file the caller has found to be a complete dump of ours,
// and then what travels with it, each only when its content shows it is
// ours: the metadata file (our tool's JSON), the .sent record of its upload,
// the side file of a reflected dump (its section) and the reflected clone's
// dump, which is a dump of its own and goes with its own metadata and .sent.
// A file of such a name that holds anything else is left alone, and so is a
// dump that another run holds open (deleting it fails). Returns the dumps
// deleted: none, the dump, or the dump and its clone.
std::vector<DeletedDumpFile> DeleteDumpWithCompanions(const wchar_t* dumpFile);

// A new dump is about to take the name of dumpFile: the metadata file and
// the .sent record of the dump that had it before (each only when ours)
// would describe the new one falsely, and a .sent would keep it from ever
// being sent. Both are deleted, and a leftover of our temporary .sent name.
void DeleteStaleRecords(const wchar_t* dumpFile);
