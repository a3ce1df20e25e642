#include "console/run/watch_summary.h"

#include <cstdio>

namespace {

void AppendUnsigned(std::wstring& text, uint32_t value) {
    wchar_t digits[16];
    _snwprintf(digits, 16, L"%u", value);
    digits[15] = L'\0';
    text += digits;
}

void AppendCount(std::wstring& text, uint32_t value, const wchar_t* what) {
    AppendUnsigned(text, value);
    text += what;
}

}  // namespace

std::wstring WatchEndedLine(const SeriesSummary& summary, bool rateLimited) {
    std::wstring line = L"Watch ended: ";
    AppendCount(line, summary.seriesWritten, L" series, ");
    AppendCount(line, summary.tally.filesWritten, L" files written, ");
    AppendCount(line, summary.tally.filesDeleted, L" deleted by -keep, ");
    AppendCount(line, summary.tally.filesSkipped, L" skipped by -free");
    if (rateLimited) {
        line += L", ";
        AppendCount(line, summary.tally.filesOverRate, L" skipped by -rate");
    }
    return line + L".";
}

std::wstring EveryInstanceLine(const wchar_t* name, const std::vector<ProcessDumps>& processes) {
    std::wstring line = L"Processes watched: ";
    line += name;
    line += L" (";
    for (size_t i = 0; i < processes.size(); ++i) {
        if (i != 0) {
            line += L", ";
        }
        AppendCount(line, processes[i].processId, L": ");
        AppendCount(line, processes[i].dumps, processes[i].dumps == 1 ? L" dump" : L" dumps");
    }
    return line + L").";
}
