#include "console/dumpwriter/minidump_write.h"

#include <cwchar>

#include "console/dumpwriter/dump_callback.h"
#include "console/dumpwriter/dump_check.h"
#include "console/dumpwriter/dump_progress.h"

UniqueFile CreateDumpFile(const wchar_t* fileName, bool overwrite) {
    // Read access too: the written file is checked before it counts as a dump.
    return UniqueFile(CreateFileW(fileName, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  overwrite ? CREATE_ALWAYS : CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
}

DumpWriteOutcome WriteDumpToFile(HANDLE process, uint32_t processId, HANDLE file, uint32_t dumpType,
                                 MINIDUMP_EXCEPTION_INFORMATION* exceptionInformation,
                                 bool miniPlus, const wchar_t* dumpComment,
                                 MINIDUMP_CALLBACK_ROUTINE userCallback) {
    MINIDUMP_USER_STREAM comment = {};
    comment.Type = CommentStreamW;
    comment.BufferSize = static_cast<ULONG>((wcslen(dumpComment) + 1) * sizeof(wchar_t));
    comment.Buffer = const_cast<wchar_t*>(dumpComment);
    MINIDUMP_USER_STREAM_INFORMATION streams = {};
    streams.UserStreamCount = 1;
    streams.UserStreamArray = &comment;

    RegionMap regionMap;
    DumpCallbackContext context = {&regionMap, miniPlus ? 1u : 0u, userCallback};
    MINIDUMP_CALLBACK_INFORMATION callback = {};
    callback.CallbackRoutine = DumpCallback;
    callback.CallbackParam = &context;

    DumpWriteOutcome outcome = {};
    DWORD lastError = ERROR_SUCCESS;
    {
        DumpProgress progress(file);
        SetLastError(ERROR_SUCCESS);
        outcome.written =
            MiniDumpWriteDump(process, processId, file, static_cast<MINIDUMP_TYPE>(dumpType),
                              exceptionInformation, &streams, &callback);
        lastError = GetLastError();
    }
    outcome.error = outcome.written ? ERROR_SUCCESS : lastError;
    if (outcome.written && !DumpFileIsComplete(file)) {
        // A write inside the call failed and was not reported; the error it
        // left behind, if any, says why.
        outcome.written = FALSE;
        outcome.error = lastError != ERROR_SUCCESS ? lastError : ERROR_WRITE_FAULT;
    }
    regionMap.clear();
    return outcome;
}
