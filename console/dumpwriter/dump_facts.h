// What a crash server wants to know about a dump, read from the dump file
// itself, so that a dump written by an earlier run or copied in from another
// machine is described as well as a fresh one: the program (its main
// module's name and file version), how long the process had run, and where
// it faulted.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "console/dumpwriter/dump_check.h"

struct DumpFault {
    uint32_t code = 0;
    uint64_t address = 0;
    std::wstring module;  // file name of the module holding the address; empty when none does
    uint64_t offset = 0;  // of the address inside that module
};

struct DumpFacts {
    std::wstring imagePath;  // the main module as the dump names it; empty without a module list
    // The main module's file version from its version resource; empty
    // without one.
    std::optional<std::wstring> fileVersion;
    // How long the process had run when the dump was taken, when the dump
    // holds the process's creation time.
    std::optional<uint64_t> processMilliseconds;
    std::optional<DumpFault> fault;  // when the dump holds an exception
};

// Reads the facts from a dump of fileSize bytes. False only when it is no
// minidump at all (no header, no directory); a stream that is missing or
// does not fit in the file just leaves its facts empty.
bool ReadDumpFacts(const DumpBytesReader& read, uint64_t fileSize, DumpFacts* facts);

// The same for an open dump file (opened with read access).
bool ReadDumpFileFacts(HANDLE file, DumpFacts* facts);

// The main module's file name without its folder ("app.exe"); "?" when the
// dump names none.
std::wstring ImageFileName(const DumpFacts& facts);

// The same without its extension ("app"): the product a crash server files
// the dump under.
std::wstring ProductName(const DumpFacts& facts);

// "a.b.c.d", or "0.0.0.0" without a version resource.
std::wstring VersionText(const DumpFacts& facts);

// A short key that groups dumps of one fault without symbols, the same on
// every machine and whatever the address-space layout:
// "<module>+0x<offset, lower-case hex> <exception name>" for a dump with an
// exception ("?" for the module when no module holds the address), otherwise
// "<image>:<trigger kind>". UTF-8.
std::string DumpSignature(const DumpFacts& facts, const std::string& triggerKind);
