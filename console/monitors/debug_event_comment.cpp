#include "console/monitors/debug_event_comment.h"

#include <cwchar>

#include "common/bounded_text.h"
#include "console/report/error_report.h"

namespace {

constexpr size_t kReasonCapacity = 128;

// "\n*** ", as much of the command line as leaves room for the reason, then
// the reason: a dump whose comment lost its reason would not say why it was
// written.
void ComposeComment(wchar_t* comment, size_t capacity, const wchar_t* commandLine,
                    const wchar_t* reason) {
    const wchar_t kHead[] = L"\n*** ";
    const size_t fixed = wcslen(kHead) + wcslen(reason) + 1;
    const size_t room = capacity > fixed ? capacity - fixed : 0;
    const size_t length = wcslen(commandLine);
    const int shown = static_cast<int>(length < room ? length : room);
    FormatCut(comment, capacity, L"%s%.*s%s", kHead, shown, commandLine, reason);
}

}  // namespace

void FormatExceptionComment(wchar_t* comment, size_t capacity, const wchar_t* commandLine,
                            uint32_t code, bool firstChance) {
    wchar_t reason[kReasonCapacity];
    FormatCut(reason, kReasonCapacity,
              firstChance ? L"\n*** First chance exception: %08X%s\n"
                          : L"\n*** Unhandled exception: %08X%s\n",
              code, ExceptionName(code));
    ComposeComment(comment, capacity, commandLine, reason);
}

void FormatTerminationComment(wchar_t* comment, size_t capacity, const wchar_t* commandLine) {
    ComposeComment(comment, capacity, commandLine, L"\n*** Process termination.\n");
}
