#include "common/wow64.h"

#include "common/optional_export.h"

namespace {

using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, BOOL*);

}  // namespace

bool IsWow64(HANDLE process) {
    const auto isWow64Process =
        LookUpExport<IsWow64ProcessFunction>(L"kernel32.dll", "IsWow64Process");
    BOOL wow64 = FALSE;
    if (isWow64Process == nullptr || !isWow64Process(process, &wow64)) {
        return false;
    }
    return wow64 != FALSE;
}
