// Small readers for the texts the dialogs take from edits, snapshots and the
// registry.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "gui/logic/process_tree.h"

// Decimal digits only, at least one, and the value fits 32 bits. A sign, a
// blank or an overflow makes it no number (an edit's text is taken whole).
bool ParseProcessId(const std::wstring& text, DWORD* processId);

// Executable names compared whole, with only A to Z folded to lower case.
bool ExeNamesEqual(const std::wstring& a, const std::wstring& b);

// The first entry in snapshot order whose name matches, or nothing.
bool FindIdByName(const std::vector<ProcessEntry>& snapshot, const std::wstring& name,
                  DWORD* processId);
bool FindNameById(const std::vector<ProcessEntry>& snapshot, DWORD processId, std::wstring* name);

// A link colour setting "red,green,blue": three decimal numbers separated by
// two commas, each taken as its low 8 bits. Anything else is no colour.
bool ParseLinkColour(const std::wstring& text, COLORREF* colour);
