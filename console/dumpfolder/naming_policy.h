// How a run names the dump files it claims in its folder, and which files of
// the folder it recognises as its own kind.
#pragma once

#include <cstdint>

// The naming by which -keep and -rate recognise the dumps they count.
enum class KeptFiles {
    kNumbered,          // "<name>_<n>.dmp" of the dump path
    kPlainAndNumbered,  // the dump path itself and "<name>_<n>.dmp"
    // A just-in-time dump folder: every "<image>_<pid>_<yyMMdd>_<HHmmss>.dmp"
    // (with "_<n>" when taken), whatever the image.
    kFolderNaming,
};

// The defaults give what a run without the long-watch options does.
struct NamingPolicy {
    // -a: every file of the run is numbered, after the highest number the
    // folder already holds for the name, and a name taken meanwhile is
    // passed over.
    bool numberAcrossRun = false;
    // A just-in-time start: when the dump file exists already, the dump goes
    // to the next free numbered name instead of failing.
    bool claimFreeName = false;
    KeptFiles keptFiles = KeptFiles::kNumbered;
};

// Where the run's numbering stands. Only the thread writing a series reads
// or changes it, and only one series is written at a time.
struct NumberingState {
    uint32_t next = 0;   // numberAcrossRun: the next file number to try
    bool known = false;  // next has been read from the folder
};
