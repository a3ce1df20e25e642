// The run's upload queue with the network replaced by scripted attempts:
// retries on the schedule, the bounded wait at the end, Ctrl+C, and the
// events each outcome leaves in the log.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "console/upload/upload_queue.h"

namespace {

UploadOutcome Verdict(UploadVerdict verdict, uint32_t status = 0, const wchar_t* reason = L"") {
    UploadOutcome outcome;
    outcome.verdict = verdict;
    outcome.status = status;
    outcome.reason = reason;
    outcome.id = verdict == UploadVerdict::kAccepted ? "CrashID=bp-1" : "";
    return outcome;
}

// Answers each dump from its own script of outcomes; an empty script means
// the server never answers: the attempt lasts until it is aborted.
class ScriptedServer {
  public:
    void Script(const std::wstring& dump, std::vector<UploadOutcome> outcomes) {
        scripts_.push_back({dump, std::move(outcomes)});
    }

    UploadQueue::Attempt Attempt() {
        return [this](const UploadItem& item, HANDLE abort) {
            ++attempts_;
            for (auto& [dump, outcomes] : scripts_) {
                if (dump == item.dumpPath && !outcomes.empty()) {
                    UploadOutcome next = outcomes.front();
                    outcomes.erase(outcomes.begin());
                    return next;
                }
            }
            WaitForSingleObject(abort, INFINITE);
            return Verdict(UploadVerdict::kRetry, 0, L"cancelled");
        };
    }

    int attempts() const { return attempts_; }

  private:
    std::vector<std::pair<std::wstring, std::vector<UploadOutcome>>> scripts_;
    std::atomic<int> attempts_{0};
};

UploadItem Item(const wchar_t* path) {
    UploadItem item;
    item.dumpPath = path;
    return item;
}

int Count(const std::string& text, const std::string& word) {
    int count = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        ++count;
    }
    return count;
}

class UploadQueueTest : public testing::Test {
  protected:
    void SetUp() override {
        wchar_t folder[MAX_PATH];
        ASSERT_NE(0u, GetTempPathW(MAX_PATH, folder));
        ASSERT_NE(0u, GetTempFileNameW(folder, L"vhq", 0, logPath_));
        DWORD error = 0;
        ASSERT_TRUE(log_.Open(logPath_, &error));
        schedule_.firstBoundMs = 20;
    }

    void TearDown() override {
        log_.Close();
        DeleteFileW(logPath_);
    }

    // The events of the log, one "event path retry" word list per line.
    std::string Events() {
        std::ifstream file(logPath_);
        std::string line;
        std::string events;
        while (std::getline(file, line)) {
            for (const char* name : {"upload_sent", "upload_failed", "upload_rejected"}) {
                if (line.find(std::string("\"event\":\"") + name + "\"") != std::string::npos) {
                    events += name;
                    events += line.find("\"retry\":true") != std::string::npos ? "(retry)" : "";
                    events += " ";
                }
            }
        }
        return events;
    }

    std::string ReadLog() {
        std::ifstream file(logPath_);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    static bool WaitUntilIdle(UploadQueue& queue) {
        for (int i = 0; i < 1000 && queue.PendingCount() != 0; ++i) {
            Sleep(10);
        }
        return queue.PendingCount() == 0;
    }

    wchar_t logPath_[MAX_PATH] = {};
    EventLog log_;
    RetrySchedule schedule_;
    ScriptedServer server_;
};

TEST_F(UploadQueueTest, PassingFailuresAreTriedAgainUntilAccepted) {
    server_.Script(L"a.dmp", {Verdict(UploadVerdict::kRetry, 500, L"HTTP 500"),
                              Verdict(UploadVerdict::kRetry, 0, L"no answer"),
                              Verdict(UploadVerdict::kAccepted, 200)});
    server_.Script(L"b.dmp", {Verdict(UploadVerdict::kRejected, 413, L"HTTP 413")});
    UploadQueue queue(server_.Attempt(), L"http://h/", &log_, schedule_);
    ASSERT_TRUE(queue.Start());
    queue.Add(Item(L"a.dmp"));
    queue.Add(Item(L"b.dmp"));
    EXPECT_EQ(1u, queue.Finish(60000, nullptr));  // b was rejected
    EXPECT_EQ(4, server_.attempts());
    // The two dumps' events interleave in an order the thread decides.
    const std::string events = Events();
    EXPECT_EQ(2, Count(events, "upload_failed(retry) ")) << events;
    EXPECT_EQ(1, Count(events, "upload_sent ")) << events;
    EXPECT_EQ(1, Count(events, "upload_rejected ")) << events;
    EXPECT_EQ(4, Count(events, " ")) << events;
}

TEST_F(UploadQueueTest, RefusalOfEveryDumpEndsTheSendingAndKeepsTheRestQueued) {
    server_.Script(L"a.dmp", {Verdict(UploadVerdict::kRefused, 401, L"HTTP 401")});
    UploadQueue queue(server_.Attempt(), L"http://h/", &log_, schedule_);
    queue.Add(Item(L"a.dmp"));
    queue.Add(Item(L"b.dmp"));
    ASSERT_TRUE(queue.Start());
    // b is taken out once a is refused; c comes after the refusal.
    ASSERT_TRUE(WaitUntilIdle(queue));
    queue.Add(Item(L"c.dmp"));
    EXPECT_EQ(3u, queue.Finish(60000, nullptr));
    EXPECT_EQ(1, server_.attempts());
    EXPECT_EQ("upload_rejected upload_failed upload_failed ", Events());
    EXPECT_EQ(2, Count(ReadLog(), "\"error\":\"not tried: the upload of a.dmp was refused\""));
}

TEST_F(UploadQueueTest, WaitAtTheEndIsBoundedAndCutsOffWhatIsUnderWay) {
    server_.Script(L"quiet.dmp", {});
    UploadQueue queue(server_.Attempt(), L"http://h/", &log_, schedule_);
    ASSERT_TRUE(queue.Start());
    queue.Add(Item(L"quiet.dmp"));
    const ULONGLONG started = GetTickCount64();
    EXPECT_EQ(1u, queue.Finish(300, nullptr));
    const ULONGLONG took = GetTickCount64() - started;
    EXPECT_GE(took, 250u);
    EXPECT_LT(took, 10000u);
    EXPECT_EQ("upload_failed ", Events());
}

TEST_F(UploadQueueTest, CtrlCEndsTheWaitAtOnce) {
    HANDLE cancel = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    ASSERT_NE(nullptr, cancel);
    // One dump under way that never ends by itself, one waiting for a retry.
    server_.Script(L"retry.dmp", {Verdict(UploadVerdict::kRetry, 503, L"HTTP 503")});
    schedule_.firstBoundMs = 600000;
    UploadQueue queue(server_.Attempt(), L"http://h/", &log_, schedule_,
                      [](uint64_t bound) { return bound; });
    ASSERT_TRUE(queue.Start());
    queue.Add(Item(L"retry.dmp"));
    queue.Add(Item(L"quiet.dmp"));
    const ULONGLONG started = GetTickCount64();
    EXPECT_EQ(2u, queue.Finish(600000, cancel));
    EXPECT_LT(GetTickCount64() - started, 10000u);
    CloseHandle(cancel);
}

TEST_F(UploadQueueTest, NothingQueuedEndsAtOnce) {
    UploadQueue queue(server_.Attempt(), L"http://h/", &log_, schedule_);
    ASSERT_TRUE(queue.Start());
    EXPECT_EQ(0u, queue.Finish(600000, nullptr));
    EXPECT_EQ(0, server_.attempts());
}

TEST_F(UploadQueueTest, DumpsDeletedBeforeTheyWereSentAreReportedOnce) {
    UploadQueue queue(server_.Attempt(), L"http://h/", &log_, schedule_);
    queue.Add(Item(L"C:\\d\\a_0.dmp"));
    queue.Withdraw(L"c:\\D\\A_0.DMP");    // queued, not yet taken: never sent
    queue.Withdraw(L"C:\\d\\older.dmp");  // of an earlier run
    EXPECT_EQ(0u, queue.PendingCount());
    ASSERT_TRUE(queue.Start());
    EXPECT_EQ(2u, queue.Finish(600000, nullptr));
    EXPECT_EQ(0, server_.attempts());
    EXPECT_EQ("upload_failed upload_failed ", Events());
}

}  // namespace
