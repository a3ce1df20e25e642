// Writing a resource of the program's own module out as a file, as both
// programs do with the console build they carry.
#pragma once

#include <windows.h>

// Writes the resource (type "BINRES" and the identifier) to path byte for
// byte, replacing any file there. False when the resource is missing or
// empty, or the file cannot be created or written whole; a partly written
// file is deleted.
bool WriteResourceToFile(int resourceId, const wchar_t* path);
