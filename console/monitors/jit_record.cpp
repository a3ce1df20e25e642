#include "console/monitors/jit_record.h"

bool AddressReachable(uint64_t address) {
    return sizeof(uintptr_t) >= sizeof(uint64_t) || address <= 0xFFFFFFFFu;
}

bool JitRecordUsable(const JitDebugInfo& info, size_t bytesRead) {
    return bytesRead == sizeof(JitDebugInfo) && info.dwSize == sizeof(JitDebugInfo) &&
           info.lpExceptionRecord != 0 && info.lpContextRecord != 0 &&
           AddressReachable(info.lpExceptionRecord) && AddressReachable(info.lpContextRecord);
}

bool ExceptionRecordUsable(const EXCEPTION_RECORD& record) {
    return record.NumberParameters <= EXCEPTION_MAXIMUM_PARAMETERS;
}
