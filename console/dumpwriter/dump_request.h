// What a trigger asks of the dump writer, and what the run's series have
// come to so far.
#pragma once

#include <windows.h>
#include <dbghelp.h>

#include <cstdint>

// One trigger's request: which process, where, how many files, and what goes
// into them.
struct DumpRequest {
    HANDLE process;
    uint32_t processId;
    const wchar_t* path;  // the dump path; numbered names are derived from it
    uint32_t count;
    bool overwrite;
    uint32_t dumpType;  // MINIDUMP_TYPE flag word
    // The trigger's exception, or null. Passed through unchanged, to the
    // reflected dump as well.
    MINIDUMP_EXCEPTION_INFORMATION* exception;
    bool miniPlus;
    bool reflect;
    const wchar_t* comment;  // stored in every file as the comment stream
};

// Shared by every thread that can request a series. `lock` guards the rest
// and is held for the whole of a series.
struct DumpSeriesState {
    DumpSeriesState() { InitializeCriticalSection(&lock); }
    ~DumpSeriesState() { DeleteCriticalSection(&lock); }
    DumpSeriesState(const DumpSeriesState&) = delete;
    DumpSeriesState& operator=(const DumpSeriesState&) = delete;

    CRITICAL_SECTION lock;
    bool written = false;  // a series has been written (or attempted)
    // A file of a series could not be written: the run then ends with exit
    // code 1 instead of reporting success to a script that trusts exit code 0.
    bool failed = false;
};
