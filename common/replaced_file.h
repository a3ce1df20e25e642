// Small files that other programs (and other runs) read while we may be
// writing them: written whole under a temporary name, flushed, then renamed
// over the final name, so that a reader sees the old file or the new one,
// never half of one.
#pragma once

#include <windows.h>

#include <string>

enum class FinalFile {
    kReplace,   // a file of the final name is replaced (the caller knows it is its own)
    kKeepAway,  // a file of the final name is never replaced: ERROR_ALREADY_EXISTS
};

// The temporary file is created new: a file of that name (a leftover the
// caller did not recognise as its own) is never replaced either. On failure
// the temporary file the call made is gone, the final one untouched, and
// *error holds the system error.
bool WriteFileByRename(const wchar_t* finalPath, const wchar_t* tempPath, const std::string& text,
                       FinalFile final, DWORD* error);
