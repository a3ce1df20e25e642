// Pure pieces of the postmortem registration and its undo: recognising a
// registration of ours, and the lines that show a registry value.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// Whether a "Debugger" value is a registration made by -i of any build of
// this program: the shape that -i writes, a quoted program path whose file
// name begins with "varnhold" and ends with ".exe", at most one of -ma, -mp
// or -d "<library>", the bounds -keep <n>, -free <n> and -meta when given,
// then -j and the quoted dump file. The program path
// alone would not do: the 32-bit build registers itself for the 64-bit
// view too, the program may have been registered from a copy in another
// folder, and the dialog program's varnhold.exe is deleted when its dialog
// closes; each of them must be undone by any build.
bool IsOurDebuggerCommand(const wchar_t* command);

// The text of a string value's data (up to its first terminator, or all of
// it when it has none).
std::wstring RegistryText(const BYTE* data, size_t size);

// "    (REG_SZ) Auto     = 1\n": the type, the name padded to the width of
// "Debugger", and the data (text for the string types, the number for a
// DWORD, the size for anything else).
std::wstring RegistryValueLine(const wchar_t* name, DWORD type, const BYTE* data, size_t size);
