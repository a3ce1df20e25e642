#include "console/retention/free_space.h"

#include <windows.h>

#include "common/bounded_text.h"
#include "common/byte_units.h"
#include "common/console_output.h"
#include "console/dumpwriter/dump_names.h"
#include "console/report/error_report.h"

bool EnoughFreeSpace(const wchar_t* dumpPath, uint64_t freeMB, uint64_t dumpBytes,
                     uint64_t* freeNow) {
    *freeNow = 0;
    wchar_t directory[MAX_PATH];
    if (!DumpDirectoryOf(dumpPath, directory) || directory[0] == L'\0') {
        CopyBounded(directory, MAX_PATH, L".");
    }
    ULARGE_INTEGER available = {};
    if (!GetDiskFreeSpaceExW(directory, &available, nullptr, nullptr)) {
        ReportWin32Error(L"Failed to read the free space of the dump folder", GetLastError());
        return false;
    }
    *freeNow = available.QuadPart / kBytesPerMB;
    const uint64_t dumpMB = MegabytesRoundedUp(dumpBytes);
    if (*freeNow >= freeMB && *freeNow - freeMB >= dumpMB) {
        return true;
    }
    if (dumpMB == 0) {
        PrintWide(L"Dump file not written: %I64u MB free in %s, -free asks for %I64u MB.\n",
                  static_cast<unsigned long long>(*freeNow), directory,
                  static_cast<unsigned long long>(freeMB));
    } else {
        PrintWide(
            L"Dump file not written: %I64u MB free in %s, -free asks for %I64u MB beyond the "
            L"dump's %I64u MB.\n",
            static_cast<unsigned long long>(*freeNow), directory,
            static_cast<unsigned long long>(freeMB), static_cast<unsigned long long>(dumpMB));
    }
    return false;
}
