#include <windows.h>

#include "common/console_output.h"

int wmain(int, wchar_t**) {
    PrintWide(L"%s %I64d\n", L"varnhold", 42LL);
    return 0;
}
