#include "console/monitors/monitor_run.h"

DumpRequest DumpRequestFor(const MonitorRun& run, const wchar_t* comment,
                           const MetadataTrigger& trigger,
                           MINIDUMP_EXCEPTION_INFORMATION* exception, bool firstChance) {
    const MonitorConfig& config = *run.config;
    DumpRequest request = {};
    request.process = config.process;
    request.processId = config.processId;
    request.path = config.dumpPath;
    request.count = config.dumpCount;
    request.overwrite = config.overwrite != 0;
    request.dumpType = config.dumpType;
    request.exception = exception;
    request.miniPlus = config.miniPlus != 0;
    request.reflect = config.reflect != 0;
    request.comment = comment;
    request.trigger = &trigger;
    request.firstChance = firstChance;
    request.lineLabel = run.lineLabel;
    request.userCallback = config.userCallback;
    request.printStack = config.stack != 0;
    return request;
}
