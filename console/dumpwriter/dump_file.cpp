#include "console/dumpwriter/dump_file.h"

#include "common/console_output.h"
#include "console/dumpwriter/minidump_write.h"
#include "console/report/error_report.h"

LiveDumpOutcome WriteLiveDump(const DumpRequest& request, const wchar_t* fileName) {
    LiveDumpOutcome outcome = {};
    UniqueFile file = CreateDumpFile(fileName, request.overwrite);
    if (!file) {
        ReportWin32Error(L"Failed to create dump file", GetLastError());
        return outcome;
    }
    outcome.created = true;
    PrintWide(L"Writing dump file %s ...\n", fileName);
    const DumpWriteOutcome write =
        WriteDumpToFile(request.process, request.processId, file.Get(),
                        request.reflect ? kReflectLiveDumpType : request.dumpType,
                        request.exception, request.miniPlus, request.comment);
    outcome.written = write.written != FALSE;
    outcome.error = write.error;
    return outcome;
}

void ReportFailedLiveDump(const wchar_t* fileName, DWORD error) {
    ReportWin32Error(L"Failed to dump process", error);
    DeleteFileW(fileName);
}
