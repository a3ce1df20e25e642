// The lines that show a registry value, as the registration and its undo
// print them.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// The text of a string value's data (up to its first terminator, or all of
// it when it has none).
std::wstring RegistryText(const BYTE* data, size_t size);

// "    (REG_SZ) Auto     = 1\n": the type, the name padded to the width of
// "Debugger", and the data (text for the string types, the number for a
// DWORD, the size for anything else).
std::wstring RegistryValueLine(const wchar_t* name, DWORD type, const BYTE* data, size_t size);
