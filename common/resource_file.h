// Writing a resource of the program's own module out as a file, as both
// programs do with the console build they carry.
#pragma once

#include <windows.h>

enum class ResourceFileOutcome {
    kWritten,
    kNameTaken,  // a file (or folder) of that name is there already; it is left alone
    kFailed,     // the resource is missing or empty, or the file could not be written whole
};

// Writes the resource (type "BINRES" and the identifier) to a new file at
// path, byte for byte; never replaces what is there. A partly written file
// is deleted.
ResourceFileOutcome WriteResourceToNewFile(int resourceId, const wchar_t* path);

// The bytes of the resource (type "BINRES" and the identifier) in the
// program's own image; false when it is missing or empty.
bool FindResourceBytes(int resourceId, const void** bytes, DWORD* size);
