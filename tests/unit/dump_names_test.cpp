// Names beside the dump path (numbered files, clone dump, side file) and the
// side file's text, as pure text work.
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

#include "console/dumpwriter/dump_names.h"
#include "console/dumpfolder/series_files.h"

namespace {

TEST(DumpNames, NumberedNamesReplaceTheLastExtension) {
    wchar_t name[MAX_PATH];
    ASSERT_TRUE(NumberedDumpName(L"C:\\d\\app.dmp", 0, name));
    EXPECT_STREQ(L"C:\\d\\app_0.dmp", name);
    ASSERT_TRUE(NumberedDumpName(L"C:\\d\\a.b.dmp", 12, name));
    EXPECT_STREQ(L"C:\\d\\a.b_12.dmp", name);
    // 257 characters: the numbered name would need 261.
    const std::wstring longPath = L"C:\\" + std::wstring(252, L'x') + L".dmp";
    EXPECT_FALSE(NumberedDumpName(longPath.c_str(), 0, name));
    EXPECT_STREQ(L"", name);
}

struct ReflectedCase {
    const wchar_t* dumpFile;
    const wchar_t* cloneDump;
    const wchar_t* sideFile;
};

TEST(DumpNames, CloneDumpAndSideFileBesideTheDump) {
    const ReflectedCase cases[] = {
        {L"C:\\d\\app.dmp", L"C:\\d\\app-reflected.dmp", L"C:\\d\\app.ini"},
        {L"C:\\d\\app_1.dmp", L"C:\\d\\app_1-reflected.dmp", L"C:\\d\\app_1.ini"},
        // The base a.b keeps its extension .b, so ".ini" is not added.
        {L"C:\\d\\a.b.dmp", L"C:\\d\\a.b-reflected.dmp", L"C:\\d\\a.b"},
        {L"C:\\d.x\\app", L"C:\\d.x\\app-reflected.dmp", L"C:\\d.x\\app.ini"},
        {L"C:\\d\\app.ini", L"C:\\d\\app-reflected.dmp", L"C:\\d\\app.ini"},
    };
    for (const ReflectedCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.dumpFile);
        ReflectedDumpNames names = {};
        ASSERT_TRUE(BuildReflectedDumpNames(c.dumpFile, &names));
        EXPECT_STREQ(c.cloneDump, names.cloneDump);
        EXPECT_STREQ(c.sideFile, names.sideFile);
    }
}

TEST(DumpNames, NamesThatDoNotFitAreRefused) {
    ReflectedDumpNames names = {};
    // 259 characters fit a path; the clone dump's suffix then does not.
    const std::wstring dumpFile = L"C:\\" + std::wstring(252, L'x') + L".dmp";
    ASSERT_EQ(259u, dumpFile.size());
    EXPECT_FALSE(BuildReflectedDumpNames(dumpFile.c_str(), &names));
    const std::wstring tooLong = L"C:\\" + std::wstring(300, L'x') + L".dmp";
    EXPECT_FALSE(BuildReflectedDumpNames(tooLong.c_str(), &names));
}

TEST(DumpNames, SameFileNameComparesFullPathsWithoutCase) {
    EXPECT_TRUE(SameFileName(L"C:\\d\\app.ini", L"C:\\d\\APP.INI"));
    EXPECT_TRUE(SameFileName(L"C:\\d\\app.ini", L"C:\\d\\app.ini."));
    EXPECT_TRUE(SameFileName(L"C:\\d\\app.ini", L"C:\\d\\e\\..\\app.ini"));
    EXPECT_FALSE(SameFileName(L"C:\\d\\a.b", L"C:\\d\\a.b.dmp"));
    EXPECT_FALSE(SameFileName(L"C:\\d\\app.ini", L"C:\\e\\app.ini"));
}

TEST(SideFileText, NamesBothDumpsWithoutTheirFolders) {
    char text[1024];
    size_t length = 99;
    ASSERT_EQ(SideFileText::kFormatted,
              FormatSideFileText(L"C:\\d\\app.dmp", L"C:\\d\\app-reflected.dmp", text, sizeof(text),
                                 &length));
    const std::string expected =
        "[UserModeDump]\r\ndefault=app.dmp\r\nmemory=app-reflected.dmp\r\nmodule=app.dmp\r\n";
    EXPECT_EQ(expected, std::string(text, length));
}

// The text is 44 bytes around the names: the dump's name twice, the clone's
// once.
std::wstring Name(size_t length) {
    return L"C:\\d\\" + std::wstring(length, L'n');
}

TEST(SideFileText, TextLongerThan1023BytesIsRefusedWithoutWritingPastTheBuffer) {
    char text[1024 + 16];
    std::memset(text, '#', sizeof(text));
    size_t length = 0;
    // 44 + 2 * 300 + 379 = 1023 bytes: fits with its terminator.
    ASSERT_EQ(SideFileText::kFormatted,
              FormatSideFileText(Name(300).c_str(), Name(379).c_str(), text, 1024, &length));
    EXPECT_EQ(1023u, length);
    EXPECT_EQ('\0', text[1023]);

    std::memset(text, '#', sizeof(text));
    EXPECT_EQ(SideFileText::kTooLong,
              FormatSideFileText(Name(300).c_str(), Name(380).c_str(), text, 1024, &length));
    EXPECT_EQ(0u, length);
    for (size_t i = 1024; i < sizeof(text); ++i) {
        ASSERT_EQ('#', text[i]) << "written past the buffer at " << i;
    }
}

class SideFileInLocale : public testing::Test {
  protected:
    void TearDown() override { setlocale(LC_ALL, "C"); }
};

TEST_F(SideFileInLocale, NamesAreConvertedInTheRuntimeLocale) {
    ASSERT_NE(nullptr, setlocale(LC_ALL, "chs"));
    char text[1024];
    size_t length = 0;
    ASSERT_EQ(SideFileText::kFormatted,
              FormatSideFileText(L"C:\\d\\\u4e2d.dmp", L"C:\\d\\\u4e2d-reflected.dmp", text,
                                 sizeof(text), &length));
    const std::string expected =
        "[UserModeDump]\r\ndefault=\xd6\xd0.dmp\r\nmemory=\xd6\xd0-reflected.dmp\r\n"
        "module=\xd6\xd0.dmp\r\n";
    EXPECT_EQ(expected, std::string(text, length));

    // Two bytes per character: names that fit a path make a text too long.
    const std::wstring dumpFile = L"C:\\d\\" + std::wstring(200, L'\u4e2d') + L".dmp";
    const std::wstring cloneDump = L"C:\\d\\" + std::wstring(200, L'\u4e2d') + L"-reflected.dmp";
    EXPECT_EQ(SideFileText::kTooLong,
              FormatSideFileText(dumpFile.c_str(), cloneDump.c_str(), text, sizeof(text), &length));

    ASSERT_NE(nullptr, setlocale(LC_ALL, "C"));
    EXPECT_EQ(SideFileText::kUnconvertible,
              FormatSideFileText(L"C:\\d\\\u4e2d.dmp", L"C:\\d\\\u4e2d-reflected.dmp", text,
                                 sizeof(text), &length));
    EXPECT_EQ(0u, length);
}

}  // namespace
