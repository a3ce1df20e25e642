// The modules loaded in a live process, to tell which one holds an address.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "console/crash/crash_report.h"

struct TargetModule {
    uint64_t base = 0;
    uint64_t size = 0;
    std::wstring name;  // file name, without its folder
};

// Every module of the process, the 32-bit ones of a WOW64 process included;
// empty when the process cannot be read (it has ended).
std::vector<TargetModule> ListTargetModules(HANDLE process);

// Fills the frame's module and offset from its address; leaves the module
// empty when no module holds the address.
void PlaceFrame(const std::vector<TargetModule>& modules, StackFrame* frame);
