// Reading the small files of ours that sit beside dumps (records, ledgers,
// metadata) to judge them by their content. Opened with read and delete
// sharing, so that no other run's write or deletion ever waits on us.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

// The whole file when it is a plain file of at most limit bytes; none when
// it is missing (*error ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND), a
// folder, unreadable or larger.
std::optional<std::string> ReadSmallFile(const wchar_t* path, DWORD limit, DWORD* error);

// At most the first limit bytes; empty when the file cannot be read.
std::string ReadFileHead(const wchar_t* path, DWORD limit);
