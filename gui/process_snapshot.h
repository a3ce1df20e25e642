// The running processes, from a toolhelp snapshot, and the dialog's two
// look-ups over them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "gui/logic/process_tree.h"

// False when no snapshot could be taken.
bool ReadProcessSnapshot(std::vector<ProcessEntry>* processes);

bool FindProcessIdByName(const std::wstring& name, DWORD* processId);
bool FindProcessNameById(DWORD processId, std::wstring* name);
