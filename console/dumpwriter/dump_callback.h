// The callback routine of every dump write: forwards to the user's routine
// when one is registered, otherwise adds the MiniPlus memory and tells the
// debug-help library to skip memory it cannot read.
#pragma once

#include <windows.h>
#include <dbghelp.h>

#include <cstdint>

#include "console/dumpwriter/region_map.h"

// What CallbackParam points at during one MiniDumpWriteDump call.
struct DumpCallbackContext {
    RegionMap* regionMap;
    uint32_t miniPlus;
    MINIDUMP_CALLBACK_ROUTINE userCallback;  // -d; null without
};

BOOL CALLBACK DumpCallback(void* callbackParam, const PMINIDUMP_CALLBACK_INPUT input,
                           PMINIDUMP_CALLBACK_OUTPUT output);

// The output's Status as the debug-help library reads it: the first member of
// the output union. The declaration in the toolchain's header places Status
// behind the union, where the library never looks, so it is reached here.
void SetCallbackStatus(MINIDUMP_CALLBACK_OUTPUT* output, HRESULT status);
HRESULT CallbackStatus(const MINIDUMP_CALLBACK_OUTPUT* output);
