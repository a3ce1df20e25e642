#include "console/run/banner.h"

#include "common/console_output.h"
#include "common/version.h"

void PrintBanner() {
#ifndef _WIN64
    PrintWide(L"\nvarnhold v" VARNHOLD_VERSION_SHORT
              L" - Writes process dump files.\n"
              L"Copyright (C) 2026 The varnhold project. All rights reserved.\n"
              L"The varnhold project - https://varnhold.example.org\n"
              L"\n");
#endif
}
