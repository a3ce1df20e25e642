// Recognising a registration of ours (every line -i can write, and no other),
// and the lines that show registry values.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "console/postmortem/registered_line.h"
#include "console/postmortem/registry_value_text.h"

namespace {

struct ShapeCase {
    const wchar_t* debugger;
    bool ours;
};

TEST(PostmortemShape, RecognisesTheRegistrationOfAnyBuildOrCopy) {
    const ShapeCase cases[] = {
        {L"\"C:\\Tools\\varnhold.exe\" -ma -j \"c:\\dumps\\a.dmp\" %ld %ld %p", true},
        {L"\"C:\\Other place\\VARNHOLD.EXE\" -j \"c:\\d.dmp\" %ld %ld 0", true},
        {L"\"C:\\Tools\\varnhold64.exe\" -mp -j \"c:\\d.dmp\" %ld %ld %p", true},
        {L"\"varnhold.exe\" -d \"C:\\my libs\\cb.dll\" -j \"c:\\d.dmp\" %ld %ld %p", true},
        {L"\"C:\\Tools\\varnhold.exe\" -ma -keep 10 -free 2048 -meta -j \"c:\\d\\\\\" %ld %ld %p",
         true},
        {L"\"C:\\Tools\\varnhold.exe\" -meta -j \"c:\\d.dmp\" %ld %ld %p", true},
        {L"\"C:\\Tools\\varnhold.exe\" -keep 2 -rate 6 -log \"c:\\l.log\" -j \"c:\\d\\\\\" %ld %ld "
         L"%p",
         true},
        {L"\"C:\\Tools\\varnhold.exe\" -log c:\\l.log -j \"c:\\d.dmp\" %ld %ld %p", false},
        {L"\"C:\\Tools\\varnhold.exe\" -keep -j \"c:\\d.dmp\" %ld %ld %p", false},
        {L"\"C:\\Tools\\varnhold.exe\" -meta -keep 3 -j \"c:\\d.dmp\" %ld %ld %p", false},
        {L"winedbg --auto %ld %ld", false},
        {L"", false},
        {L"\"C:\\Tools\\vsjitdebugger.exe\" -p %ld -e %ld", false},
        {L"\"C:\\varnhold\\other.exe\" -j \"c:\\d.dmp\" %ld %ld %p", false},
        {L"\"C:\\Tools\\varnhold.exe\" -p %ld -e %ld", false},
        {L"\"C:\\Tools\\varnhold.exe\" -ma -e -j \"c:\\d.dmp\" %ld %ld %p", false},
        {L"\"C:\\Tools\\varnhold.exe\" -d \"unclosed -j \"c:\\d.dmp\"", false},
        {L"\"C:\\Tools\\varnhold.exe", false},
        {L"C:\\Tools\\varnhold.exe -j \"c:\\d.dmp\" %ld %ld %p", false},
        {L"\"C:\\Tools\\varnhold.exe\" -j \"c:\\pct%%d dir\\\\\" %ld %ld %p", true},
        {L"\"C:\\Tools\\varnhold.exe\" -j \"c:\\d.dmp\" %ld %ld %p -e", false},
        {L"\"C:\\Tools\\varnhold.exe\" -j \"c:\\d.dmp\"", false},
    };
    for (const ShapeCase& c : cases) {
        EXPECT_EQ(c.ours, IsOurDebuggerCommand(c.debugger))
            << std::string(c.debugger, c.debugger + wcslen(c.debugger));
    }
}

bool SameRegistration(const RegisteredLine& a, const RegisteredLine& b) {
    return a.programPath == b.programPath && a.content == b.content &&
           a.libraryPath == b.libraryPath && a.keepFiles == b.keepFiles && a.freeMB == b.freeMB &&
           a.metadata == b.metadata && a.ratePerHour == b.ratePerHour && a.logPath == b.logPath &&
           a.uploadUrl == b.uploadUrl && a.dumpPath == b.dumpPath &&
           a.debugInfoAddress == b.debugInfoAddress;
}

TEST(PostmortemShape, EveryLineWeWriteReadsBackAsWritten) {
    const wchar_t* paths[] = {L"c:\\dumps\\crash.dmp", L"c:\\dumps\\", L"c:\\a b\\\\",
                              L"c:\\pct%d dir\\x%%.dmp", L"%"};
    const RegisteredContent contents[] = {
        RegisteredContent::kDefault, RegisteredContent::kFullMemory, RegisteredContent::kMiniPlus,
        RegisteredContent::kUserLibrary};
    int built = 0;
    for (const wchar_t* path : paths) {
        for (RegisteredContent content : contents) {
            for (int bounds = 0; bounds < 128; ++bounds) {
                RegisteredLine line;
                line.programPath = std::wstring(L"C:\\100% sure\\varnhold") +
                                   (bounds % 2 ? L"64-12.exe" : L".exe");
                line.content = content;
                line.libraryPath = content == RegisteredContent::kUserLibrary ? path : L"";
                line.keepFiles = (bounds & 2) ? 10 : 0;
                line.freeMB = (bounds & 4) ? 4294967295u : 0;
                line.metadata = (bounds & 8) != 0;
                line.ratePerHour = (bounds & 16) ? 6 : 0;
                line.logPath = (bounds & 32) ? path : L"";
                line.uploadUrl = (bounds & 64) ? L"https://h:8/api/1/?key=a%20b" : L"";
                line.dumpPath = path;
                line.debugInfoAddress = bounds % 3 != 0;
                wchar_t text[kDebuggerCommandCapacity];
                ASSERT_TRUE(BuildDebuggerCommandLine(line, text));
                const std::optional<RegisteredLine> read = ParseDebuggerCommandLine(text);
                ASSERT_TRUE(read.has_value()) << std::string(text, text + wcslen(text));
                EXPECT_TRUE(SameRegistration(line, *read))
                    << std::string(text, text + wcslen(text));
                ++built;
            }
        }
    }
    EXPECT_EQ(5 * 4 * 128, built);
}

TEST(PostmortemShape, APercentSignIsDoubledForThePlaceholderFormatting) {
    RegisteredLine line;
    line.programPath = L"C:\\t\\varnhold.exe";
    line.dumpPath = L"c:\\pct%d dir\\";
    wchar_t text[kDebuggerCommandCapacity];
    ASSERT_TRUE(BuildDebuggerCommandLine(line, text));
    EXPECT_STREQ(L"\"C:\\t\\varnhold.exe\" -j \"c:\\pct%%d dir\\\\\" %ld %ld %p", text);
}

std::wstring Line(const wchar_t* name, DWORD type, const void* data, size_t size) {
    return RegistryValueLine(name, type, static_cast<const BYTE*>(data), size);
}

TEST(PostmortemShape, ValueLinesHaveTheFormOfTheSetBlock) {
    const wchar_t text[] = L"winedbg --auto %ld %ld";
    const wchar_t unterminated[] = {L'1', L'2'};
    const DWORD number = 7;
    const BYTE bytes[3] = {1, 2, 3};
    EXPECT_EQ(L"    (REG_SZ) Debugger = winedbg --auto %ld %ld\n",
              Line(L"Debugger", REG_SZ, text, sizeof(text)));
    EXPECT_EQ(L"    (REG_SZ) Auto     = 1\n", Line(L"Auto", REG_SZ, L"1", 4));
    EXPECT_EQ(L"    (REG_EXPAND_SZ) Auto     = 12\n",
              Line(L"Auto", REG_EXPAND_SZ, unterminated, sizeof(unterminated)));
    EXPECT_EQ(L"    (REG_DWORD) Auto     = 7\n", Line(L"Auto", REG_DWORD, &number, 4));
    EXPECT_EQ(L"    (REG_BINARY) Auto     = <3 bytes>\n", Line(L"Auto", REG_BINARY, bytes, 3));
    EXPECT_EQ(L"    (REG_SZ) Auto     = \n", Line(L"Auto", REG_SZ, nullptr, 0));
}

}  // namespace
