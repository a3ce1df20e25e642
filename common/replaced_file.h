// Small files that other programs (and other runs) read while we may be
// writing them: written whole under a temporary name, flushed, then renamed
// over the final name, so that a reader sees the old file or the new one,
// never half of one.
#pragma once

#include <windows.h>

#include <string>

// On failure the temporary file is gone, the final one untouched, and
// *error holds the system error.
bool WriteFileByRename(const wchar_t* finalPath, const wchar_t* tempPath, const std::string& text,
                       DWORD* error);
