#include "console/dumpwriter/dump_callback.h"

#include <cstring>

#include "common/process_wide.h"
#include "console/dumpwriter/user_callback.h"

void SetCallbackStatus(MINIDUMP_CALLBACK_OUTPUT* output, HRESULT status) {
    std::memcpy(output, &status, sizeof(status));
}

HRESULT CallbackStatus(const MINIDUMP_CALLBACK_OUTPUT* output) {
    HRESULT status;
    std::memcpy(&status, output, sizeof(status));
    return status;
}

namespace {

void OnThreadCallback(const DumpCallbackContext& context, HANDLE process) {
    if (context.miniPlus != 0 && context.regionMap->empty()) {
        ScanRegions(process, *context.regionMap);
    }
}

void OnMemoryCallback(const DumpCallbackContext& context, MINIDUMP_CALLBACK_OUTPUT* output) {
    if (context.miniPlus == 0) {
        return;
    }
    bool handOut = false;
    MemoryRange range = {};
    if (TakeRegion(*context.regionMap, g_processWide.pageSize, &handOut, &range) && handOut) {
        output->MemoryBase = range.base;
        output->MemorySize = range.size;
    }
}

}  // namespace

BOOL CALLBACK DumpCallback(void* callbackParam, const PMINIDUMP_CALLBACK_INPUT input,
                           PMINIDUMP_CALLBACK_OUTPUT output) {
    const auto& context = *static_cast<const DumpCallbackContext*>(callbackParam);
    if (context.userCallback != nullptr) {
        return CallUserDumpCallback(context.userCallback, input, output);
    }
    switch (input->CallbackType) {
        case ThreadCallback:
            OnThreadCallback(context, input->ProcessHandle);
            break;
        case MemoryCallback:
            OnMemoryCallback(context, output);
            break;
        case ReadMemoryFailureCallback:
            SetCallbackStatus(output, S_OK);
            break;
        default:
            break;
    }
    return TRUE;
}
