// Deleting a dump of ours together with what travels with it.
#pragma once

// What deleting a dump came to.
struct DumpDeletion {
    bool deleted = false;  // a file another program holds open is not
    bool sent = false;     // it had its .sent record: a crash server has it
};

// Deletes a dump file the caller has found to be a complete dump of ours,
// and then what travels with it, each only when its content shows it is
// ours: the clone dump of a reflected dump (a minidump), its side file (the
// side file's section), the metadata file (our tool's JSON) and the .sent
// record of its upload. A file of such a name that holds anything else is
// left alone.
DumpDeletion DeleteDumpWithCompanions(const wchar_t* dumpFile);

// A new dump is about to take the name of dumpFile: the metadata file and
// the .sent record of the dump that had it before (each only when ours)
// would describe the new one falsely, and a .sent would keep it from ever
// being sent. Both are deleted.
void DeleteStaleRecords(const wchar_t* dumpFile);
