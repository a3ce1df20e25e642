// Whether a dump file that the platform reported as written holds every byte
// its own directory refers to. Some platforms' dump writers ignore failed
// writes (a full disk, for one) and still report success, leaving a file cut
// short that no debugger can open.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "common/unique_resource.h"

// Reads size bytes at offset; false when they cannot all be read.
using DumpBytesReader = std::function<bool(uint64_t offset, void* buffer, uint32_t size)>;

// A reader of an open file (opened with read access), which it does not own.
DumpBytesReader FileBytesReader(HANDLE file);

// The header (signature and version, at least one stream), the stream
// directory, every stream, and the memory that the memory lists place in
// the file all lie within fileSize bytes.
bool DumpExtentsLieInFile(const DumpBytesReader& read, uint64_t fileSize);

// The same for an open dump file (opened with read access).
bool DumpFileIsComplete(HANDLE file);

// Opens a dump for reading while other runs may read or delete it, but not
// write it: a dump still being written (its writer shares nothing) stays
// closed to us, and so does one a live series holds.
UniqueFile OpenDumpForReading(const wchar_t* path);

// The check of a file by path; false when it cannot be opened for reading.
bool DumpFileAtIsComplete(const wchar_t* path);
