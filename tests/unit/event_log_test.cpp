// The JSON Lines event log: whole lines, appended, readable while written,
// from several threads and several writers at once.
#include <windows.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "console/report/event_log.h"
#include "process_test_support.h"

namespace {

std::vector<std::string> ReadLines(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(file, line)) {
        lines.push_back(line);
    }
    return lines;
}

TEST(EventLine, TimeAndEventFirstThenTheFieldsOnOneLine) {
    JsonObject fields = {{"path", "C:\\d\u00e9.dmp"}, {"event", "ignored"}, {"bytes", 12}};
    EXPECT_EQ(
        "{\"time\":\"2026-12-08T10:00:00.123Z\",\"event\":\"dump_written\","
        "\"path\":\"C:\\\\d\u00e9.dmp\",\"bytes\":12}\n",
        EventLine("2026-12-08T10:00:00.123Z", "dump_written", fields));
    EXPECT_EQ("{\"time\":\"t\",\"event\":\"process_exited\"}\n",
              EventLine("t", "process_exited", JsonObject::object()));
    // Bytes that are not UTF-8 are replaced, never thrown.
    EXPECT_EQ("{\"time\":\"t\",\"event\":\"e\",\"x\":\"a\xef\xbf\xbd\"}\n",
              EventLine("t", "e", {{"x", "a\xff"}}));
}

TEST(EventLog, AppendsOneParsedLinePerEventWhileAReaderHasItOpen) {
    process_test::ScratchFolder folder;
    const std::wstring path = folder.File(L"events.jsonl");
    {
        std::ofstream old(path.c_str(), std::ios::binary);
        old << "{\"event\":\"earlier\"}\n";
    }
    UniqueFile reader(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(reader.IsValid());
    EventLog log;
    DWORD error = 0;
    ASSERT_TRUE(log.Open(path.c_str(), &error));
    log.RunStarted({{"dumpCount", 2}, {"image", nullptr}});
    log.Trigger("cpu", 37);
    log.Trigger("manual");
    const std::wstring dump = L"C:\\dumps\\app" + std::wstring(1, 0xD800) + L".dmp";
    log.DumpStarted(dump.c_str());
    log.DumpWritten(L"C:\\a.dmp", 4096, 2100);
    log.DumpFailed(L"C:\\b.dmp", L"There is not enough space on the disk.\r\n");
    log.DumpDeleted(L"C:\\c.dmp");
    log.DumpSkipped(L"C:\\d.dmp", 12);
    log.ProcessExited(77);
    log.RunEnded(0);
    EXPECT_EQ(0u, log.FirstWriteError());

    const std::vector<std::string> lines = ReadLines(path);
    ASSERT_EQ(11u, lines.size());
    EXPECT_EQ("{\"event\":\"earlier\"}", lines[0]);
    const char* events[] = {"run_started",    "trigger",     "trigger",      "dump_started",
                            "dump_written",   "dump_failed", "dump_deleted", "dump_skipped",
                            "process_exited", "run_ended"};
    std::vector<nlohmann::json> parsed;
    for (size_t i = 1; i < lines.size(); ++i) {
        parsed.push_back(nlohmann::json::parse(lines[i]));
        EXPECT_EQ(events[i - 1], parsed.back()["event"]);
        EXPECT_EQ(24u, parsed.back()["time"].get<std::string>().size());
        EXPECT_EQ(0u, lines[i].find("{\"time\":")) << lines[i];
    }
    EXPECT_EQ(2, parsed[0]["settings"]["dumpCount"]);
    EXPECT_EQ("37", parsed[1]["value"].dump());  // a whole number stays whole
    EXPECT_FALSE(parsed[2].contains("value"));
    EXPECT_EQ("C:\\dumps\\app\xef\xbf\xbd.dmp", parsed[3]["path"]);
    EXPECT_EQ(4096, parsed[4]["bytes"]);
    EXPECT_EQ(2100, parsed[4]["milliseconds"]);
    EXPECT_EQ("There is not enough space on the disk.\r\n", parsed[5]["error"]);
    EXPECT_EQ(12, parsed[7]["freeMB"]);
    EXPECT_EQ(0, parsed[9]["exitCode"]);
}

TEST(EventLog, ThreadsAndSeveralRunsWritingAtOnceNeverSplitALine) {
    process_test::ScratchFolder folder;
    const std::wstring path = folder.File(L"events.jsonl");
    EventLog log;
    EventLog other;  // another run given the same log
    DWORD error = 0;
    ASSERT_TRUE(log.Open(path.c_str(), &error));
    ASSERT_TRUE(other.Open(path.c_str(), &error)) << error;

    const std::string padding(300, 'x');
    auto writer = [&padding](EventLog* into, int id) {
        for (int i = 0; i < 100; ++i) {
            into->Write("trigger", {{"writer", id}, {"i", i}, {"padding", padding}});
        }
    };
    std::thread a(writer, &log, 0);
    std::thread b(writer, &log, 1);
    std::thread c(writer, &other, 2);
    a.join();
    b.join();
    c.join();
    const std::vector<std::string> lines = ReadLines(path);
    ASSERT_EQ(300u, lines.size());
    int next[3] = {0, 0, 0};
    for (const std::string& line : lines) {
        const nlohmann::json event = nlohmann::json::parse(line);
        const int id = event["writer"];
        EXPECT_EQ(next[id]++, event["i"]);  // each thread's lines in order
    }
}

TEST(EventLog, UnopenedLogWritesNothingAndAFolderCannotBeOpened) {
    process_test::ScratchFolder folder;
    EventLog log;
    log.RunEnded(0);  // no log asked for: nothing happens
    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(0u, log.FirstWriteError());
    const std::wstring directory = folder.File(L"log");
    ASSERT_TRUE(CreateDirectoryW(directory.c_str(), nullptr));
    DWORD error = 0;
    EXPECT_FALSE(log.Open(directory.c_str(), &error));
    EXPECT_NE(0u, error);
    EXPECT_FALSE(log.IsOpen());
}

TEST(EventLog, ALineCutByAKilledRunIsEndedAndARotatedLogIsOpenedAgain) {
    process_test::ScratchFolder folder;
    const std::wstring path = folder.File(L"events.jsonl");
    {
        std::ofstream old(path.c_str(), std::ios::binary);
        old << "{\"event\":\"cut short";
    }
    EventLog log;
    DWORD error = 0;
    ASSERT_TRUE(log.Open(path.c_str(), &error));
    log.RunStarted(nlohmann::ordered_json::object());
    // A log shipper's rotation renames the file while the run goes on: the
    // next line goes to a new file under the log's name, none is lost.
    const std::wstring rotated = folder.File(L"events.1.jsonl");
    ASSERT_TRUE(MoveFileW(path.c_str(), rotated.c_str())) << GetLastError();
    log.RunEnded(0);
    const std::vector<std::string> before = ReadLines(rotated);
    ASSERT_EQ(2u, before.size());
    EXPECT_EQ("{\"event\":\"cut short", before[0]);
    EXPECT_EQ("run_started", nlohmann::json::parse(before[1])["event"]);
    const std::vector<std::string> after = ReadLines(path);
    ASSERT_EQ(1u, after.size());
    EXPECT_EQ("run_ended", nlohmann::json::parse(after[0])["event"]);
    EXPECT_EQ(0u, log.FirstWriteError());
}

TEST(EventLog, AWriterHoldingTheAppendLockDelaysALineOnlySoLong) {
    process_test::ScratchFolder folder;
    const std::wstring path = folder.File(L"events.jsonl");
    EventLog log;
    DWORD error = 0;
    ASSERT_TRUE(log.Open(path.c_str(), &error));
    // Another run stuck in the middle of its append.
    UniqueFile stuck(CreateFileW(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    OVERLAPPED at = {};
    at.OffsetHigh = 0x40000000;
    ASSERT_TRUE(LockFileEx(stuck.Get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at));
    const ULONGLONG started = GetTickCount64();
    log.RunEnded(0);
    EXPECT_LT(GetTickCount64() - started, 10000u);
    ASSERT_EQ(1u, ReadLines(path).size());
}

}  // namespace
