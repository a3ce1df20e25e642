// Creating the directory that will hold a dump file.
#pragma once

// Creates the directory of the dump path with its missing parents. Nothing is
// reported: a directory that cannot be made shows up as the failure to
// create the dump file.
void CreateDumpDirectory(const wchar_t* dumpPath);
