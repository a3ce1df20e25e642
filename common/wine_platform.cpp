#include "common/wine_platform.h"

#include "common/optional_export.h"

namespace {

using WineGetVersionFunction = const char*(CDECL*)();

}  // namespace

bool RunsUnderWine() {
    return LookUpExport<WineGetVersionFunction>(L"ntdll.dll", "wine_get_version") != nullptr;
}
