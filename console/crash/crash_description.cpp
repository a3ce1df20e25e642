#include "console/crash/crash_description.h"

#include "console/crash/crash_reason.h"
#include "console/crash/stack_walk.h"

CrashReport DescribeCrash(const CrashSubject& subject) {
    CrashReport report;
    uint64_t exceptionAddress = 0;
    if (subject.exception != nullptr) {
        const EXCEPTION_RECORD& record = *subject.exception;
        uint64_t parameters[EXCEPTION_MAXIMUM_PARAMETERS] = {};
        const uint32_t count = record.NumberParameters < EXCEPTION_MAXIMUM_PARAMETERS
                                   ? record.NumberParameters
                                   : EXCEPTION_MAXIMUM_PARAMETERS;
        for (uint32_t i = 0; i < count; ++i) {
            parameters[i] = record.ExceptionInformation[i];
        }
        report.reason =
            ReasonOfException(static_cast<uint32_t>(record.ExceptionCode), parameters, count);
        exceptionAddress = reinterpret_cast<uintptr_t>(record.ExceptionAddress);
    } else {
        report.reason = ReasonOfHungWindow();
    }
    WalkStack({subject.process, subject.threadId, subject.context, exceptionAddress}, &report);
    return report;
}
