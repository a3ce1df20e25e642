#include "console/monitors/debug_event_comment.h"

#include "common/bounded_text.h"
#include "console/monitors/error_report.h"

void FormatExceptionComment(wchar_t* comment, size_t capacity, const wchar_t* commandLine,
                            uint32_t code, bool firstChance) {
    const wchar_t* format = firstChance ? L"\n*** %s\n*** First chance exception: %08X%s\n"
                                        : L"\n*** %s\n*** Unhandled exception: %08X%s\n";
    FormatCut(comment, capacity, format, commandLine, code, ExceptionName(code));
}

void FormatTerminationComment(wchar_t* comment, size_t capacity, const wchar_t* commandLine) {
    FormatCut(comment, capacity, L"\n*** %s\n*** Process termination.\n", commandLine);
}
