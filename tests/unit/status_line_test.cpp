// The status line and the dump progress drawn with it: their texts, and
// that nothing of them reaches output redirected to a file.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "common/console_output.h"
#include "console/dumpwriter/dump_progress.h"
#include "process_test_support.h"

namespace {

TEST(StatusLine, DrawCoversTheOldLineAndEraseBlanksIt) {
    EXPECT_EQ(L"\rWriting dump: 1.0 MB", StatusLineDrawText(L"Writing dump: 1.0 MB", 0));
    EXPECT_EQ(L"\rabc   ", StatusLineDrawText(L"abc", 6));
    EXPECT_EQ(L"\rabcdef", StatusLineDrawText(L"abcdef", 3));
    EXPECT_EQ(L"\r    \r", StatusLineEraseText(4));
    EXPECT_EQ(L"", StatusLineEraseText(0));
}

TEST(DumpProgress, TextInMegabytesWithOneDecimal) {
    EXPECT_EQ(L"Writing dump: 0.0 MB", DumpProgressText(0));
    EXPECT_EQ(L"Writing dump: 123.4 MB", DumpProgressText(129394278ull));  // 123.4 MiB
    EXPECT_EQ(L"Writing dump: 1024.0 MB", DumpProgressText(1ull << 30));
}

// Standard output sent to a file (in text mode, as the programs write it)
// while body runs; returns what reached it.
template <typename Body>
std::string RedirectedOutput(const std::wstring& path, Body body) {
    fflush(stdout);
    const int saved = _dup(_fileno(stdout));
    const int file = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_TEXT, 0600);
    _dup2(file, _fileno(stdout));
    _close(file);
    body();
    fflush(stdout);
    _dup2(saved, _fileno(stdout));
    _close(saved);
    std::string text;
    if (FILE* read = _wfopen(path.c_str(), L"rb")) {
        char buffer[256];
        size_t got;
        while ((got = fread(buffer, 1, sizeof buffer, read)) > 0) {
            text.append(buffer, got);
        }
        fclose(read);
    }
    return text;
}

TEST(StatusLine, NothingOfItReachesRedirectedOutput) {
    process_test::ScratchFolder folder;
    const std::wstring dumpPath = folder.File(L"growing.dmp");
    UniqueFile dump(CreateFileW(dumpPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(dump.IsValid());
    const std::string out = RedirectedOutput(folder.File(L"out.txt"), [&] {
        EXPECT_FALSE(StandardOutputIsConsole());
        ShowStatusLine(L"Writing dump: 1.0 MB");
        PrintWide(L"before\n");
        const auto started = std::chrono::steady_clock::now();
        {
            DumpProgress progress(dump.Get());
            DWORD written = 0;
            const std::string block(1 << 20, 'd');
            WriteFile(dump.Get(), block.data(), static_cast<DWORD>(block.size()), &written,
                      nullptr);
        }
        // Ending it does not wait for its first update a second later.
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(900));
        EraseStatusLine();
        PrintNarrow("after\n");
    });
    EXPECT_EQ("before\r\nafter\r\n", out);  // text mode: CR LF
}

}  // namespace
