#include "console/run/banner.h"

#include "common/console_output.h"

void PrintBanner() {
#ifndef _WIN64
    PrintWide(
        L"\nvarnhold v1.0 - Writes process dump files.\n"
        L"Copyright (C) 2026 The varnhold project. All rights reserved.\n"
        L"The varnhold project - https://varnhold.example.org\n"
        L"\n");
#endif
}
