#include "console/dumpwriter/dump_progress.h"

#include <cwchar>

#include "common/byte_units.h"
#include "common/console_output.h"

namespace {

constexpr DWORD kFirstShowMs = 1000;
constexpr DWORD kUpdateMs = 500;

}  // namespace

std::wstring DumpProgressText(uint64_t bytes) {
    wchar_t text[64];
    _snwprintf(text, 64, L"Writing dump: %.1f MB", Megabytes(bytes));
    text[63] = L'\0';
    return text;
}

DumpProgress::DumpProgress(HANDLE file) : file_(file) {
    // Redirected output gets nothing of this, so no thread is needed.
    if (!StandardOutputIsConsole()) {
        return;
    }
    stop_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (stop_) {
        thread_.Reset(CreateThread(nullptr, 0, &DumpProgress::ThreadMain, this, 0, nullptr));
    }
    // Without the event or the thread the dump is written without progress.
}

DumpProgress::~DumpProgress() {
    if (thread_) {
        SetEvent(stop_.Get());
        WaitForSingleObject(thread_.Get(), INFINITE);
        EraseStatusLine();
    }
}

DWORD WINAPI DumpProgress::ThreadMain(void* self) {
    static_cast<DumpProgress*>(self)->Run();
    return 0;
}

void DumpProgress::Run() {
    DWORD wait = kFirstShowMs;
    while (WaitForSingleObject(stop_.Get(), wait) == WAIT_TIMEOUT) {
        LARGE_INTEGER size;
        if (GetFileSizeEx(file_, &size)) {
            ShowStatusLine(DumpProgressText(static_cast<uint64_t>(size.QuadPart)).c_str());
        }
        wait = kUpdateMs;
    }
}
