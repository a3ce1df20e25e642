// What a trigger asks of the dump writer: which process, where, and what
// goes into each file.
#pragma once

#include <windows.h>
#include <dbghelp.h>

#include <cstdint>

#include "console/dumpwriter/dump_metadata.h"

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
    // What fired, for the metadata file and the event log; null for none.
    const MetadataTrigger* trigger;
    bool firstChance;  // the exception, when there is one, is a first chance one
    // The process's name and id for the lines printed about it, when the run
    // watches several processes at once; null otherwise.
    const wchar_t* lineLabel;
    // -d: takes over the callback of every write; null without.
    MINIDUMP_CALLBACK_ROUTINE userCallback;
    // The thread of a hung window, whose stack is read after the dump as an
    // exception's thread's is; 0 for none.
    uint32_t hungThreadId;
    // -stack: the reason and the stack are printed after the first file.
    bool printStack;
};
