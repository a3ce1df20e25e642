#include "console/dumpwriter/dump_file.h"

#include "common/labelled_output.h"
#include "console/dumpwriter/minidump_write.h"
#include "console/report/error_report.h"

LiveDumpOutcome WriteLiveDump(const DumpRequest& request, const wchar_t* fileName, HANDLE file) {
    PrintLabelled(request.lineLabel, L"Writing dump file %s ...\n", fileName);
    const DumpWriteOutcome write =
        WriteDumpToFile(request.process, request.processId, file,
                        request.reflect ? kReflectLiveDumpType : request.dumpType,
                        request.exception, request.miniPlus, request.comment, request.userCallback);
    LiveDumpOutcome outcome = {};
    outcome.written = write.written != FALSE;
    outcome.error = write.error;
    LARGE_INTEGER size = {};
    if (outcome.written && GetFileSizeEx(file, &size)) {
        outcome.bytes = static_cast<uint64_t>(size.QuadPart);
    }
    return outcome;
}

void ReportFailedLiveDump(const wchar_t* fileName, DWORD error) {
    ReportWin32Error(L"Failed to dump process", error);
    DeleteFileW(fileName);
}
