// The upload's request body: the text parts a crash server files a dump
// under, the multipart layout, and the gzip compression done in pieces
// through a temporary file.
#include <gtest/gtest.h>

#include <windows.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "common/unique_resource.h"
#include "common/version.h"
#include "console/upload/dump_origin.h"
#include "console/upload/gzip_writer.h"
#include "console/upload/upload_body.h"
#include "console/upload/upload_form.h"

namespace {

std::string Gunzip(const std::string& compressed) {
    z_stream stream = {};
    EXPECT_EQ(Z_OK, inflateInit2(&stream, 15 + 16));
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    std::string plain;
    int result = Z_OK;
    while (result == Z_OK) {
        char piece[65536];
        stream.next_out = reinterpret_cast<Bytef*>(piece);
        stream.avail_out = sizeof(piece);
        result = inflate(&stream, Z_NO_FLUSH);
        plain.append(piece, sizeof(piece) - stream.avail_out);
    }
    EXPECT_EQ(Z_STREAM_END, result);
    inflateEnd(&stream);
    return plain;
}

std::string Fields(const std::vector<FormField>& fields) {
    std::string text;
    for (const FormField& field : fields) {
        text += field.name + "=" + field.value + ";";
    }
    return text;
}

TEST(UploadForm, TextPartsFromTheDumpAndItsOrigin) {
    DumpFacts crash;
    crash.imagePath = L"C:\\Apps\\shop.exe";
    crash.fileVersion = L"1.2.0.7";
    crash.processMilliseconds = 42000;
    crash.fault = DumpFault{0xC0000005, 0x140001234, L"shop.exe", 0x1234};
    DumpFacts hang;
    hang.imagePath = L"C:\\Apps\\shop.exe";
    const std::string version = VARNHOLD_VERSION;
    EXPECT_EQ("prod=shop;ver=1.2.0.7;ptime=42000;varnhold_version=" + version +
                  ";host=BOX-7;trigger=exception;exception_code=C0000005;"
                  "signature=shop.exe+0x1234 ACCESS_VIOLATION;",
              Fields(UploadFields(crash, {"exception", L"BOX-7", std::nullopt})));
    EXPECT_EQ("prod=shop;ver=0.0.0.0;varnhold_version=" + version +
                  ";host=BOX-7;trigger=hungWindow;signature=shop.exe:hungWindow;",
              Fields(UploadFields(hang, {"hungWindow", L"BOX-7", std::nullopt})));
    // The run's own time, in milliseconds, before the dump's whole seconds.
    EXPECT_EQ(0u, Fields(UploadFields(crash, {"exception", L"BOX-7", 41234}))
                      .find("prod=shop;ver=1.2.0.7;ptime=41234;varnhold_version="));
    EXPECT_EQ(0u, Fields(UploadFields(hang, {"hungWindow", L"BOX-7", 5}))
                      .find("prod=shop;ver=0.0.0.0;ptime=5;varnhold_version="));
}

TEST(UploadForm, OriginFilledFromMetadataOrThisMachine) {
    struct Case {
        const char* name;
        DumpOrigin given;
        std::string metadata;
        const char* trigger;
        const wchar_t* host;
        std::optional<uint64_t> ptime;
    };
    const std::string times = R"("process":{"created":"2026-12-08T09:58:10.500Z"},)"
                              R"("dump":{"started":"2026-12-08T10:00:00.123Z"})";
    const Case cases[] = {
        {"given wins",
         {"cpu", L"RUN-HOST", 7},
         R"({"host":"M","trigger":{"kind":"jit"},)" + times + "}",
         "cpu",
         L"RUN-HOST",
         7},
        {"from the metadata",
         {},
         R"({"host":"M\u00e9","trigger":{"kind":"jit"},)" + times + "}",
         "jit",
         L"M\u00e9",
         109623},
        {"no metadata", {}, "", "unknown", L"HERE", std::nullopt},
        {"damaged metadata", {}, R"({"host": "M", "trig)", "unknown", L"HERE", std::nullopt},
        {"fields of other types",
         {},
         R"({"host":7,"trigger":"cpu","process":{"created":5},"dump":{"started":"x"}})",
         "unknown",
         L"HERE",
         std::nullopt},
        {"created after the dump",
         {},
         R"({"process":{"created":"2026-12-08T10:00:00.124Z"},)"
         R"("dump":{"started":"2026-12-08T10:00:00.123Z"}})",
         "unknown",
         L"HERE",
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DumpOrigin origin = CompletedOrigin(c.given, c.metadata, L"HERE");
        EXPECT_EQ(c.trigger, origin.triggerKind);
        EXPECT_EQ(c.host, origin.host);
        EXPECT_EQ(c.ptime, origin.processMilliseconds);
    }
}

TEST(UploadForm, PartsAreLaidOutAsBrowsersSendThem) {
    const std::string boundary = FormBoundary(0x0123456789abcdef, 0xfedcba9876543210);
    EXPECT_EQ("varnhold-0123456789abcdeffedcba9876543210", boundary);
    EXPECT_EQ("multipart/form-data; boundary=" + boundary, FormContentType(boundary));
    EXPECT_EQ("--B\r\nContent-Disposition: form-data; name=\"prod\"\r\n\r\nshop\r\n",
              FieldPartText("B", {"prod", "shop"}));
    EXPECT_EQ(
        "--B\r\nContent-Disposition: form-data; name=\"upload_file_minidump\"; "
        "filename=\"a%22b%0D%0A.dmp\"\r\nContent-Type: application/octet-stream\r\n\r\n",
        FilePartHead("B", {kDumpPartName, "a\"b\r\n.dmp"}));
    EXPECT_EQ("--B--\r\n", FormEndText("B"));
}

TEST(UploadForm, GzipInPiecesRoundTrips) {
    std::string compressed;
    GzipWriter gzip([&compressed](const void* data, size_t size) {
        compressed.append(static_cast<const char*>(data), size);
        return true;
    });
    std::string plain;
    for (int i = 0; i < 5000; ++i) {
        plain += "piece " + std::to_string(i * 7919 % 1000) + "\n";
    }
    ASSERT_TRUE(gzip.Write(plain.data(), 1000));
    ASSERT_TRUE(gzip.Write(plain.data() + 1000, plain.size() - 1000));
    ASSERT_TRUE(gzip.Finish());
    EXPECT_LT(compressed.size(), plain.size() / 3);
    EXPECT_EQ(plain, Gunzip(compressed));

    // A sink that fails stops the compression for good.
    GzipWriter failing([](const void*, size_t) { return false; });
    failing.Write("x", 1);  // zlib may keep this byte to itself
    EXPECT_FALSE(failing.Finish());
    EXPECT_FALSE(failing.Write("x", 1));
}

TEST(UploadForm, BodyFileHoldsTheCompressedForm) {
    wchar_t folder[MAX_PATH];
    wchar_t dumpPath[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, folder));
    ASSERT_NE(0u, GetTempFileNameW(folder, L"vhd", 0, dumpPath));
    // More than one read piece of content that does not compress away.
    std::string content(3 * 1024 * 1024 + 17, '\0');
    uint32_t state = 1;
    for (char& c : content) {
        state = state * 1103515245 + 12345;
        c = static_cast<char>(state >> 24);
    }
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    UniqueFile dump(CreateFileW(dumpPath, GENERIC_READ | GENERIC_WRITE, share, nullptr,
                                CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    ASSERT_TRUE(dump.IsValid());
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(dump.Get(), content.data(), static_cast<DWORD>(content.size()), &written,
                          nullptr));

    // Beyond the memory limit the body goes into a file.
    UploadBody body;
    std::wstring reason;
    ASSERT_TRUE(WriteUploadBody({{"prod", "shop"}, {"ver", "1.0.0.0"}},
                                {{{kDumpPartName, "shop.dmp"}, dump.Get(), dumpPath}}, "B", nullptr,
                                &body, &reason))
        << std::string(reason.begin(), reason.end());
    EXPECT_EQ("multipart/form-data; boundary=B", body.contentType);
    ASSERT_TRUE(body.file.IsValid());
    EXPECT_TRUE(body.bytes.empty());
    EXPECT_GT(body.size, kMemoryBodyLimit);
    std::string compressed(static_cast<size_t>(body.size), '\0');
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(body.file.Get(), compressed.data(), static_cast<DWORD>(compressed.size()),
                         &got, nullptr));
    ASSERT_EQ(body.size, got);
    EXPECT_EQ(FieldPartText("B", {"prod", "shop"}) + FieldPartText("B", {"ver", "1.0.0.0"}) +
                  FilePartHead("B", {kDumpPartName, "shop.dmp"}) + content + "\r\n--B--\r\n",
              Gunzip(compressed));

    // A small one stays in memory.
    LARGE_INTEGER small = {};
    small.QuadPart = 5000;
    ASSERT_TRUE(SetFilePointerEx(dump.Get(), small, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(dump.Get()));
    UploadBody inMemory;
    ASSERT_TRUE(WriteUploadBody({}, {{{kDumpPartName, "shop.dmp"}, dump.Get(), dumpPath}}, "B",
                                nullptr, &inMemory, &reason));
    EXPECT_FALSE(inMemory.file.IsValid());
    ASSERT_EQ(inMemory.size, inMemory.bytes.size());
    EXPECT_EQ(
        FilePartHead("B", {kDumpPartName, "shop.dmp"}) + content.substr(0, 5000) + "\r\n--B--\r\n",
        Gunzip(std::string(inMemory.bytes.begin(), inMemory.bytes.end())));

    // Ctrl+C stops the compression.
    UniqueHandle cancel(CreateEventW(nullptr, TRUE, TRUE, nullptr));
    UploadBody cancelled;
    EXPECT_FALSE(WriteUploadBody({}, {{{kDumpPartName, "shop.dmp"}, dump.Get(), dumpPath}}, "B",
                                 cancel.Get(), &cancelled, &reason));
    EXPECT_EQ(L"cancelled", reason);

    // A file that cannot be read is named in the reason.
    UniqueFile writeOnly(CreateFileW(dumpPath, GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writeOnly.IsValid());
    UploadBody unread;
    EXPECT_FALSE(WriteUploadBody({}, {{{kDumpPartName, "shop.dmp"}, writeOnly.Get(), dumpPath}},
                                 "B", nullptr, &unread, &reason));
    EXPECT_EQ(0u, reason.find(std::wstring(L"cannot read ") + dumpPath + L": "));
}

}  // namespace
