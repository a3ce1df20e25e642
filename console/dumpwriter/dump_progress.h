// The progress of one long dump write on the console: held around a single
// MiniDumpWriteDump call, it shows after a second how many megabytes the
// file has so far, updated about twice a second, and erases the line when it
// ends. Only when standard output is a console; otherwise it does nothing.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/unique_resource.h"

// "Writing dump: 123.4 MB" (megabytes of 2^20 bytes).
std::wstring DumpProgressText(uint64_t bytes);

class DumpProgress {
  public:
    // file: the dump file being written; it must outlive this object.
    explicit DumpProgress(HANDLE file);
    // Stops at once (not at the next update) and erases the line.
    ~DumpProgress();

    DumpProgress(const DumpProgress&) = delete;
    DumpProgress& operator=(const DumpProgress&) = delete;

  private:
    static DWORD WINAPI ThreadMain(void* self);
    void Run();

    HANDLE file_;
    UniqueHandle stop_;
    UniqueHandle thread_;
};
