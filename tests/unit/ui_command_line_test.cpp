// The command line the dialog program hands to the command interpreter.
#include <gtest/gtest.h>

#include <string>

#include "gui/logic/command_line.h"

namespace {

const std::wstring kInterpreter = L"C:\\Windows\\system32\\cmd.exe";
const std::wstring kImage = L"C:\\Tools\\varnhold.exe";
const std::wstring kDumpPath = L"C:\\Users\\me\\Desktop\\Minidump.dmp";

// Everything between the quoted console image and the identifier.
std::wstring OptionsOf(const DialogChoices& choices) {
    std::wstring line = BuildCommandLine(choices, 1234, kDumpPath, kImage, kInterpreter);
    const std::wstring head = L"\"" + kInterpreter + L"\" /c \"\"" + kImage + L"\"";
    const std::wstring tail = L" 1234 \"" + kDumpPath + L"\" & pause\"";
    EXPECT_EQ(line.compare(0, head.size(), head), 0) << line;
    EXPECT_GE(line.size(), head.size() + tail.size()) << line;
    EXPECT_EQ(line.compare(line.size() - tail.size(), tail.size(), tail), 0) << line;
    return line.substr(head.size(), line.size() - head.size() - tail.size());
}

TEST(UiCommandLine, FullDumpCpuAboveAndExceptionGiveTheDocumentedLine) {
    DialogChoices choices;
    choices.dumpTypeIndex = 1;
    choices.cpuEnable = 1;
    choices.cpuBelow = 0;
    choices.cpuUsage = 10;
    choices.exceptionCheck = 1;
    EXPECT_EQ(BuildCommandLine(choices, 1234, kDumpPath, kImage, kInterpreter),
              L"\"C:\\Windows\\system32\\cmd.exe\" /c \"\"C:\\Tools\\varnhold.exe\" -ma -c 10 -e "
              L"1234 \"C:\\Users\\me\\Desktop\\Minidump.dmp\" & pause\"");
}

TEST(UiCommandLine, DefaultsPutNoOptionBeforeTheIdentifier) {
    EXPECT_EQ(OptionsOf(DialogChoices{}), L"");
}

struct PieceCase {
    const char* what;
    DialogChoices choices;
    std::wstring options;
};

DialogChoices With(void (*change)(DialogChoices&)) {
    DialogChoices choices;
    change(choices);
    return choices;
}

TEST(UiCommandLine, EachChoiceAddsItsPieceInTheFixedOrder) {
    const PieceCase cases[] = {
        PieceCase{"mini dump adds nothing", With([](DialogChoices& c) { c.dumpTypeIndex = 0; }),
                  L""},
        PieceCase{"full dump", With([](DialogChoices& c) { c.dumpTypeIndex = 1; }), L" -ma"},
        PieceCase{"effective dump is MiniPlus", With([](DialogChoices& c) { c.dumpTypeIndex = 2; }),
                  L" -mp"},
        PieceCase{"no dump type selected adds nothing",
                  With([](DialogChoices& c) { c.dumpTypeIndex = -1; }), L""},
        PieceCase{"cpu below zero", With([](DialogChoices& c) {
                      c.cpuEnable = 1;
                      c.cpuBelow = 1;
                      c.cpuUsage = 0;
                  }),
                  L" -cl 0"},
        PieceCase{"memory above 4096", With([](DialogChoices& c) {
                      c.memEnable = 1;
                      c.memBelow = 0;
                      c.memUsage = 4096;
                  }),
                  L" -m 4096"},
        PieceCase{"memory below", With([](DialogChoices& c) {
                      c.memEnable = 1;
                      c.memBelow = 1;
                      c.memUsage = 7;
                  }),
                  L" -ml 7"},
        PieceCase{"all three misc boxes: exception before hung window", With([](DialogChoices& c) {
                      c.hungWindowCheck = 1;
                      c.exceptionCheck = 1;
                      c.processExitCheck = 1;
                  }),
                  L" -e -h -t"},
        PieceCase{"everything, in the fixed order", With([](DialogChoices& c) {
                      c.dumpTypeIndex = 2;
                      c.cpuEnable = 1;
                      c.cpuBelow = 1;
                      c.cpuUsage = 55;
                      c.memEnable = 1;
                      c.memUsage = 300;
                      c.hungWindowCheck = 1;
                      c.exceptionCheck = 1;
                      c.processExitCheck = 1;
                  }),
                  L" -mp -cl 55 -m 300 -e -h -t"},
        PieceCase{"disabled groups contribute nothing though their edits hold numbers",
                  With([](DialogChoices& c) {
                      c.cpuEnable = 0;
                      c.cpuBelow = 1;
                      c.cpuUsage = 90;
                      c.memEnable = 0;
                      c.memUsage = 2000;
                  }),
                  L""}};
    for (const PieceCase& c : cases) {
        EXPECT_EQ(OptionsOf(c.choices), c.options) << c.what;
    }
}

TEST(UiCommandLine, PathsWithBlanksStayInsideTheirQuotes) {
    std::wstring line = BuildCommandLine(DialogChoices{}, 0, L"D:\\my dumps\\a b.dmp",
                                         L"C:\\Program Files\\vh\\varnhold.exe",
                                         L"C:\\Win dows\\system32\\cmd.exe");
    EXPECT_EQ(line,
              L"\"C:\\Win dows\\system32\\cmd.exe\" /c \"\"C:\\Program Files\\vh\\varnhold.exe\" "
              L"0 \"D:\\my dumps\\a b.dmp\" & pause\"");
}

TEST(UiCommandLine, DumpPathWithoutFolderIsPassedAsTyped) {
    std::wstring line = BuildCommandLine(DialogChoices{}, 77, L"out.dmp", kImage, kInterpreter);
    EXPECT_NE(line.find(L" 77 \"out.dmp\" & pause\""), std::wstring::npos) << line;
}

TEST(UiCommandLine, IdentifierIsUnsignedDecimal) {
    std::wstring line =
        BuildCommandLine(DialogChoices{}, 4294967295u, kDumpPath, kImage, kInterpreter);
    EXPECT_NE(line.find(L"\" 4294967295 \""), std::wstring::npos) << line;
}

TEST(UiCommandLine, DumpPathWithDoubleQuoteIsNotQuotable) {
    EXPECT_TRUE(IsQuotableDumpPath(L"C:\\dumps\\a & b.dmp"));
    EXPECT_FALSE(IsQuotableDumpPath(L"C:\\x\" & calc & \".dmp"));
    EXPECT_FALSE(IsQuotableDumpPath(L"\""));
}

}  // namespace
