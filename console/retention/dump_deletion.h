// Deleting a dump of ours together with what travels with it.
#pragma once

// Deletes a dump file the caller has found to be a complete dump of ours,
// and then what travels with it, each only when its content shows it is
// ours: the clone dump of a reflected dump (a minidump), its side file (the
// side file's section), and the metadata file (our tool's JSON). A file of
// such a name that holds anything else is left alone. True when the dump
// itself was deleted (a file another program holds open is not).
bool DeleteDumpWithCompanions(const wchar_t* dumpFile);
