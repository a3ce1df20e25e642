// How a crash server's answer is read, when a failed upload is tried again,
// and what the .sent record says.
#include <gtest/gtest.h>

#include <string>

#include <windows.h>
#include <winhttp.h>

#include "console/dumpfolder/dump_deletion.h"
#include "console/dumpfolder/sent_record.h"
#include "console/upload/retry_schedule.h"
#include "console/upload/send_scan.h"
#include "console/upload/upload_attempt.h"
#include "console/upload/upload_outcome.h"

namespace {

TEST(UploadOutcome, EveryAnswerFallsInOneClass) {
    struct Case {
        uint32_t status;
        const wchar_t* phrase;
        const char* body;
        UploadVerdict verdict;
        const char* id;
        const wchar_t* reason;
    };
    const Case cases[] = {
        {200, L"OK", "CrashID=bp-5f3c0e8e-2a1b-4c1d-9e7f-123456260101\n", UploadVerdict::kAccepted,
         "CrashID=bp-5f3c0e8e-2a1b-4c1d-9e7f-123456260101", L""},
        {200, L"OK", "6b3e2f1a0c9d4e8f\r\nmore", UploadVerdict::kAccepted, "6b3e2f1a0c9d4e8f", L""},
        {203, L"", "", UploadVerdict::kAccepted, "", L""},
        {201, L"Created", "id\x01\xff\x7f  ", UploadVerdict::kAccepted, "id???", L""},
        {200, L"OK", "Discarded=1\n", UploadVerdict::kDiscarded, "Discarded=1", L"Discarded=1"},
        {204, L"No Content", "", UploadVerdict::kRejected, "", L"HTTP 204 No Content"},
        {100, L"Continue", "", UploadVerdict::kRejected, "", L"HTTP 100 Continue"},
        {400, L"Bad Request", "", UploadVerdict::kRejected, "", L"HTTP 400 Bad Request"},
        {413, L"Payload Too Large", "", UploadVerdict::kRejected, "",
         L"HTTP 413 Payload Too Large"},
        {409, L"Conflict", "", UploadVerdict::kRejected, "", L"HTTP 409 Conflict"},
        {302, L"Found", "", UploadVerdict::kRefused, "", L"HTTP 302 Found"},
        {301, L"", "", UploadVerdict::kRefused, "", L"HTTP 301"},
        {401, L"", "", UploadVerdict::kRefused, "", L"HTTP 401"},
        {403, L"Forbidden", "", UploadVerdict::kRefused, "", L"HTTP 403 Forbidden"},
        {404, L"Not Found", "", UploadVerdict::kRefused, "", L"HTTP 404 Not Found"},
        {405, L"", "", UploadVerdict::kRefused, "", L"HTTP 405"},
        {407, L"", "", UploadVerdict::kRefused, "", L"HTTP 407"},
        {410, L"Gone", "", UploadVerdict::kRefused, "", L"HTTP 410 Gone"},
        {406, L"", "", UploadVerdict::kRejected, "", L"HTTP 406"},
        {408, L"Request Timeout", "", UploadVerdict::kRetry, "", L"HTTP 408 Request Timeout"},
        {429, L"Too Many Requests", "", UploadVerdict::kRetry, "", L"HTTP 429 Too Many Requests"},
        {500, L"Internal Server Error", "CrashID=x", UploadVerdict::kRetry, "",
         L"HTTP 500 Internal Server Error"},
        {599, L"", "", UploadVerdict::kRetry, "", L"HTTP 599"},
        {600, L"", "", UploadVerdict::kRejected, "", L"HTTP 600"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        const UploadOutcome outcome = OutcomeOfAnswer(c.status, c.phrase, c.body, 7);
        EXPECT_EQ(c.verdict, outcome.verdict);
        EXPECT_EQ(c.status, outcome.status);
        EXPECT_EQ(c.id, outcome.id);
        EXPECT_EQ(c.reason, outcome.reason);
        EXPECT_EQ(c.verdict == UploadVerdict::kRetry, outcome.retryAfterSeconds.has_value());
        EXPECT_EQ(c.verdict == UploadVerdict::kRefused, RefusesEveryDump(outcome));
    }
    EXPECT_EQ(200u, FirstLineOfBody(std::string(500, 'x')).size());
    EXPECT_EQ(L"HTTP 307 Temporary Redirect (to http://127.0.0.1:8081/submit)",
              OutcomeOfAnswer(307, L"Temporary Redirect", "", std::nullopt,
                              L"http://127.0.0.1:8081/submit")
                  .reason);

    // Without an answer: a certificate or URL no retry mends, else try later.
    for (const DWORD refusing : std::initializer_list<DWORD>{
             ERROR_WINHTTP_SECURE_FAILURE, ERROR_WINHTTP_SECURE_CHANNEL_ERROR,
             ERROR_WINHTTP_SECURE_INVALID_CA, ERROR_WINHTTP_SECURE_CERT_REVOKED,
             ERROR_WINHTTP_SECURE_CERT_CN_INVALID, ERROR_WINHTTP_SECURE_CERT_DATE_INVALID}) {
        EXPECT_EQ(UploadVerdict::kRefused, VerdictOfNetworkError(refusing)) << refusing;
    }
    for (const DWORD passing : std::initializer_list<DWORD>{
             ERROR_WINHTTP_CANNOT_CONNECT, ERROR_WINHTTP_CONNECTION_ERROR, ERROR_WINHTTP_TIMEOUT,
             ERROR_WINHTTP_NAME_NOT_RESOLVED, ERROR_WINHTTP_SECURE_CERT_REV_FAILED,
             ERROR_WINHTTP_INVALID_SERVER_RESPONSE, WSAECONNRESET}) {
        EXPECT_EQ(UploadVerdict::kRetry, VerdictOfNetworkError(passing)) << passing;
    }
}

TEST(UploadOutcome, RetryAfterInSeconds) {
    EXPECT_EQ(120u, RetryAfterDelaySeconds(L"120").value_or(0));
    EXPECT_EQ(0u, RetryAfterDelaySeconds(L" 0 ").value_or(1));
    EXPECT_EQ(0xFFFFFFFFu, RetryAfterDelaySeconds(L"99999999999999999999").value_or(0));
    for (const wchar_t* other : {L"", L"-5", L"1.5", L"Wed, 21 Oct 2015 07:28:00 GMT", L"5s"}) {
        EXPECT_FALSE(RetryAfterDelaySeconds(other).has_value());
    }
}

TEST(UploadOutcome, RetryWaitsGrowWithFullJitterAndHonourRetryAfter) {
    const RetrySchedule schedule;  // 5 s, times 3, up to 5 minutes
    const uint64_t bounds[] = {5000, 15000, 45000, 135000, 300000, 300000};
    for (uint32_t failures = 1; failures <= 6; ++failures) {
        SCOPED_TRACE(failures);
        EXPECT_EQ(bounds[failures - 1], RetryBoundMs(schedule, failures));
        // The whole range from zero to the bound is drawn from.
        uint64_t asked = 0;
        auto lowest = [&asked](uint64_t bound) { return asked = bound, uint64_t{0}; };
        auto highest = [](uint64_t bound) { return bound; };
        EXPECT_EQ(0u, RetryDelayMs(schedule, failures, std::nullopt, lowest));
        EXPECT_EQ(bounds[failures - 1], asked);
        EXPECT_EQ(bounds[failures - 1], RetryDelayMs(schedule, failures, std::nullopt, highest));
    }
    EXPECT_EQ(300000u, RetryBoundMs(schedule, 1000));
    // The drawn wait comes on top of what the server asked, which is capped
    // at 10 minutes: no wait is longer than 15.
    auto half = [](uint64_t bound) { return bound / 2; };
    EXPECT_EQ(62500u, RetryDelayMs(schedule, 1, 60, half));
    EXPECT_EQ(3500u, RetryDelayMs(schedule, 1, 1, half));
    EXPECT_EQ(600000u, RetryDelayMs(schedule, 1, 86400, [](uint64_t) { return uint64_t{0}; }));
    EXPECT_EQ(900000u, RetryDelayMs(schedule, 9, 0xFFFFFFFF, [](uint64_t bound) { return bound; }));

    const RandomUpTo random = SystemRandom();
    for (int i = 0; i < 100; ++i) {
        EXPECT_LE(random(10), 10u);
    }
}

TEST(UploadOutcome, DeadlineGrowsWithTheDumpAndTestsCanOnlyShortenTheLimits) {
    const UploadLimits product;
    EXPECT_EQ(120000u, UploadDeadlineMs(product, 0));
    EXPECT_EQ(121000u, UploadDeadlineMs(product, 1));
    EXPECT_EQ(459000u, UploadDeadlineMs(product, 339ull * 1024 * 1024));
    struct Case {
        const wchar_t* text;
        DWORD step;
        uint64_t deadline;  // for a dump of 5 MB
        uint64_t retry;
    };
    const Case cases[] = {
        {nullptr, 60000, 125000, 5000},
        {L"step=2000,deadline=4000,retry=300", 2000, 4000, 300},
        {L"deadline=3000", 60000, 3000, 5000},
        {L"step=90000,deadline=999999,retry=60000", 60000, 125000, 5000},  // never longer
        {L"step=0,deadline=-5,retry=1x,step", 60000, 125000, 5000},
        {L"step=1234567890,retry=", 60000, 125000, 5000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text != nullptr ? std::string(c.text, c.text + wcslen(c.text)) : "none");
        const UploadLimits limits = ShortenedLimits(product, c.text);
        EXPECT_EQ(c.step, limits.stepTimeoutMs);
        EXPECT_EQ(c.deadline, UploadDeadlineMs(limits, 5 * 1024 * 1024));
        EXPECT_EQ(c.retry, limits.retry.firstBoundMs);
    }
}

TEST(UploadOutcome, SentRecordIsOneJsonLine) {
    SentRecord record;
    record.url = L"https://crash.example/submit";
    record.status = 200;
    record.id = "CrashID=bp-1";
    record.time = "2026-01-02T03:04:05.678Z";
    record.bytes = 12345;
    EXPECT_EQ(
        "{\"url\":\"https://crash.example/submit\",\"status\":200,\"id\":\"CrashID=bp-1\","
        "\"time\":\"2026-01-02T03:04:05.678Z\",\"bytes\":12345}\n",
        SentRecordText(record));
    record.id.clear();
    record.discarded = "Discarded=1";
    EXPECT_EQ(
        "{\"url\":\"https://crash.example/submit\",\"status\":200,\"id\":null,"
        "\"discarded\":\"Discarded=1\",\"time\":\"2026-01-02T03:04:05.678Z\",\"bytes\":12345}\n",
        SentRecordText(record));

    wchar_t finalPath[MAX_PATH];
    wchar_t tempPath[MAX_PATH];
    ASSERT_TRUE(SentRecordPaths(L"C:\\d\\a.dmp", finalPath, tempPath));
    EXPECT_STREQ(L"C:\\d\\a.dmp.sent", finalPath);
    EXPECT_STREQ(L"C:\\d\\a.dmp.sent.tmp", tempPath);
    const std::wstring nearLimit = L"C:\\" + std::wstring(MAX_PATH - 12, L'x');
    EXPECT_FALSE(SentRecordPaths(nearLimit.c_str(), finalPath, tempPath));
    EXPECT_STREQ(L"", finalPath);
}

// A file holding text; false when it could not be written.
bool WriteText(const std::wstring& path, const std::string& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size();
    CloseHandle(file);
    return ok;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(UploadOutcome, SentRecordGoesWithItsDumpOnlyWhenItIsOurs) {
    SentRecord record;
    record.url = L"http://h/p";
    record.status = 200;
    record.time = "2026-01-02T03:04:05.678Z";
    const std::string ours = SentRecordText(record);
    EXPECT_TRUE(IsSentRecordText(ours));
    record.discarded = "Discarded=1";
    EXPECT_TRUE(IsSentRecordText(SentRecordText(record)));
    for (const char* foreign : {"", "sent", "[]", "{\"url\":\"http://h/\",\"status\":200}",
                                "{\"url\":\"u\",\"status\":200,\"time\":\"t\",\"bytes\":1,"
                                "\"note\":\"mine\"}"}) {
        EXPECT_FALSE(IsSentRecordText(foreign)) << foreign;
    }

    wchar_t folder[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, folder));
    const std::wstring dump = std::wstring(folder) + L"vh_sent_test.dmp";
    for (const bool isOurs : {true, false}) {
        ASSERT_TRUE(WriteText(dump, "MDMP"));
        ASSERT_TRUE(WriteText(dump + L".sent", isOurs ? ours : "a note of the user's"));
        const std::vector<DeletedDumpFile> deleted = DeleteDumpWithCompanions(dump.c_str());
        ASSERT_EQ(1u, deleted.size());
        EXPECT_EQ(isOurs, deleted[0].sent);
        EXPECT_EQ(isOurs ? SentRecordState::kNone : SentRecordState::kForeign,
                  SentRecordStateOf(dump.c_str()));
        EXPECT_FALSE(Exists(dump));
        EXPECT_EQ(!isOurs, Exists(dump + L".sent"));
        DeleteFileW((dump + L".sent").c_str());
    }
    // A new dump under the name: the record of the old one goes, and so
    // does a temporary record a run left cut short; a foreign one stays.
    ASSERT_TRUE(WriteText(dump + L".sent", ours));
    ASSERT_TRUE(WriteText(dump + L".sent.tmp", ours.substr(0, 20)));
    DeleteStaleRecords(dump.c_str());
    EXPECT_FALSE(Exists(dump + L".sent"));
    EXPECT_FALSE(Exists(dump + L".sent.tmp"));
    // A record is written beside no record of any kind, and never over one.
    DWORD error = 0;
    ASSERT_TRUE(WriteSentRecord(dump.c_str(), record, &error));
    EXPECT_EQ(SentRecordState::kOurs, SentRecordStateOf(dump.c_str()));
    EXPECT_FALSE(WriteSentRecord(dump.c_str(), record, &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), error);
    DeleteFileW((dump + L".sent").c_str());
    ASSERT_TRUE(CreateDirectoryW((dump + L".sent").c_str(), nullptr));
    EXPECT_EQ(SentRecordState::kForeign, SentRecordStateOf(dump.c_str()));
    RemoveDirectoryW((dump + L".sent").c_str());
}

TEST(UploadOutcome, SendStopsOnlyForFailuresOfTheWholeServer) {
    struct Case {
        UploadVerdict verdict;
        uint32_t status;
        bool stops;
    };
    const Case cases[] = {
        {UploadVerdict::kRetry, 0, true},    {UploadVerdict::kRetry, 429, true},
        {UploadVerdict::kRetry, 503, true},  {UploadVerdict::kRetry, 500, false},
        {UploadVerdict::kRetry, 408, false}, {UploadVerdict::kRejected, 413, false},
        {UploadVerdict::kFailed, 0, false},  {UploadVerdict::kAccepted, 200, false},
    };
    for (const Case& c : cases) {
        UploadOutcome outcome;
        outcome.verdict = c.verdict;
        outcome.status = c.status;
        EXPECT_EQ(c.stops, ServerWideFailure(outcome)) << c.status;
    }
    std::vector<QueuedDump> dumps = {{L"c", 5}, {L"b", 9}, {L"a", 5}, {L"d", 1}};
    SortOldestFirst(&dumps);
    std::wstring order;
    for (const QueuedDump& dump : dumps) {
        order += dump.path;
    }
    EXPECT_EQ(L"dacb", order);
}

}  // namespace
