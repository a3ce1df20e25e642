// The metadata file beside a dump: its fields in order, and a write that
// leaves either the whole file or none.
#include <windows.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/version.h"
#include "common/utc_time.h"
#include "console/dumpwriter/dump_metadata.h"
#include "process_test_support.h"

namespace {

std::vector<std::string> Keys(const nlohmann::ordered_json& object) {
    std::vector<std::string> keys;
    for (const auto& item : object.items()) {
        keys.push_back(item.key());
    }
    return keys;
}

DumpMetadata ExceptionDump() {
    DumpMetadata metadata;
    metadata.handedOver = true;
    metadata.host = L"HOST" + std::wstring(1, 0xDC01);
    metadata.commandLine = L"varnhold -e -meta \"C:\\d\u00e9\\app.dmp\"";
    metadata.process = {1234, L"app.exe", std::nullopt, std::nullopt};
    metadata.trigger.kind = "exception";
    metadata.exception = MetadataException{0xC0000005, false, 77, 0x140001234ull};
    metadata.dump.path = L"C:\\d\u00e9\\app.dmp";
    metadata.dump.type = 0x41925;
    metadata.dump.bytes = 5000000000ull;
    metadata.dump.series = 1;
    metadata.dump.file = 2;
    metadata.dump.started = {2026, 12, 2, 8, 10, 0, 0, 123};
    metadata.dump.finished = {2026, 12, 2, 8, 10, 0, 2, 223};
    metadata.dump.milliseconds = 2100;
    return metadata;
}

TEST(MetadataText, ExceptionDumpHasEveryFieldInOrder) {
    const auto parsed = nlohmann::ordered_json::parse(MetadataText(ExceptionDump()));
    EXPECT_EQ((std::vector<std::string>{"tool", "version", "build", "handedOver", "host",
                                        "commandLine", "process", "trigger", "exception", "dump"}),
              Keys(parsed));
    EXPECT_EQ("varnhold", parsed["tool"]);
    EXPECT_EQ(VARNHOLD_VERSION, parsed["version"]);
    EXPECT_EQ(sizeof(void*) == 8 ? "x64" : "x86", parsed["build"]);
    EXPECT_EQ(true, parsed["handedOver"]);
    EXPECT_EQ("HOST\xef\xbf\xbd", parsed["host"]);
    EXPECT_EQ("varnhold -e -meta \"C:\\d\xc3\xa9\\app.dmp\"", parsed["commandLine"]);
    EXPECT_EQ(R"({"id":1234,"name":"app.exe","image":null})", parsed["process"].dump());
    EXPECT_EQ(R"({"kind":"exception"})", parsed["trigger"].dump());
    EXPECT_EQ(R"({"code":3221225477,"name":"ACCESS_VIOLATION","firstChance":false,)"
              R"("threadId":77,"address":5368713780})",
              parsed["exception"].dump());
    EXPECT_EQ(R"({"path":"C:\\d)"
              "\xc3\xa9"
              R"(\\app.dmp","type":268581,"bytes":5000000000,)"
              R"("series":1,"file":2,"started":"2026-12-08T10:00:00.123Z",)"
              R"("finished":"2026-12-08T10:00:02.223Z","milliseconds":2100})",
              parsed["dump"].dump());
}

TEST(MetadataText, ThresholdTriggersCarryDirectionValuesAndSeconds) {
    DumpMetadata metadata = ExceptionDump();
    metadata.exception.reset();
    metadata.process.image = L"C:\\app\\app.exe";
    uint64_t created = 0;
    ASSERT_TRUE(ParseUtcTime("2026-12-08T09:58:10.500Z", &created));
    metadata.process.created = created;
    metadata.trigger = {"cpu", -1, 20.0, 3.5, 5u};
    auto parsed = nlohmann::ordered_json::parse(MetadataText(metadata));
    EXPECT_FALSE(parsed.contains("exception"));
    EXPECT_EQ("C:\\app\\app.exe", parsed["process"]["image"]);
    EXPECT_EQ("2026-12-08T09:58:10.500Z", parsed["process"]["created"]);
    EXPECT_EQ(R"({"kind":"cpu","direction":"below","threshold":20,"value":3.5,"seconds":5})",
              parsed["trigger"].dump());
    metadata.trigger = {"commit", +1, 512.0, 600.0, std::nullopt};
    parsed = nlohmann::ordered_json::parse(MetadataText(metadata));
    EXPECT_EQ(R"({"kind":"commit","direction":"above","threshold":512,"value":600})",
              parsed["trigger"].dump());
}

TEST(MetadataFilePaths, RefusedWhenEitherNameWouldNotFit) {
    wchar_t finalPath[MAX_PATH];
    wchar_t tempPath[MAX_PATH];
    ASSERT_TRUE(MetadataFilePaths(L"C:\\d\\app.dmp", finalPath, tempPath));
    EXPECT_STREQ(L"C:\\d\\app.dmp.json", finalPath);
    EXPECT_STREQ(L"C:\\d\\app.dmp.json.tmp", tempPath);
    // ".json.tmp" is 9 characters: 250 is the longest dump path served.
    const std::wstring longest = L"C:\\" + std::wstring(247, L'a');
    EXPECT_TRUE(MetadataFilePaths(longest.c_str(), finalPath, tempPath));
    EXPECT_FALSE(MetadataFilePaths((longest + L"a").c_str(), finalPath, tempPath));
    EXPECT_STREQ(L"", finalPath);
    EXPECT_STREQ(L"", tempPath);
}

TEST(WriteMetadataFile, NeverReplacesAFileThatIsNotOursAndCleansItsOwnLeftover) {
    process_test::ScratchFolder folder;
    const std::wstring dump = folder.File(L"app.dmp");
    auto read = [](const std::wstring& path) {
        std::ifstream file(path.c_str(), std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    };
    {
        std::ofstream foreign((dump + L".json").c_str(), std::ios::binary);
        foreign << "a file of the user's";
        // What a run ended while writing its metadata left behind.
        std::ofstream leftover((dump + L".json.tmp").c_str(), std::ios::binary);
        leftover << MetadataText(DumpMetadata()).substr(0, 40);
    }
    DWORD error = 0;
    EXPECT_FALSE(WriteMetadataFile(dump.c_str(), "{\"tool\":\"varnhold\"}\n", &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), error);
    EXPECT_EQ("a file of the user's", read(dump + L".json"));
    EXPECT_EQ(std::vector<std::wstring>{L"app.dmp.json"}, folder.Files());
    DeleteFileW((dump + L".json").c_str());
    ASSERT_TRUE(WriteMetadataFile(dump.c_str(), "{\"tool\":\"varnhold\"}\n", &error));
    EXPECT_EQ("{\"tool\":\"varnhold\"}\n", read(dump + L".json"));
}

TEST(WriteMetadataFile, FailuresLeaveNothingBehind) {
    process_test::ScratchFolder folder;
    const std::wstring dump = folder.File(L"app.dmp");
    // A folder where the file should go: the rename fails.
    ASSERT_TRUE(CreateDirectoryW((dump + L".json").c_str(), nullptr));
    DWORD error = 0;
    EXPECT_FALSE(WriteMetadataFile(dump.c_str(), "{}\n", &error));
    EXPECT_NE(0u, error);
    EXPECT_TRUE(folder.Files().empty());
    RemoveDirectoryW((dump + L".json").c_str());

    const std::wstring tooLong = folder.File(std::wstring(250, L'a').c_str());
    EXPECT_FALSE(WriteMetadataFile(tooLong.c_str(), "{}\n", &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), error);
    EXPECT_TRUE(folder.Files().empty());
}

}  // namespace
