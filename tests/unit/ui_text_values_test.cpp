// Texts the dialog program reads: identifiers, executable names, link colours.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/logic/text_values.h"

namespace {

struct IdCase {
    std::wstring text;
    bool isNumber;
    DWORD value;
};

TEST(UiProcessId, OnlyWholeUnsignedDecimalsOf32BitsAreIdentifiers) {
    const IdCase cases[] = {
        {L"0", true, 0},    {L"1234", true, 1234},     {L"4294967295", true, 4294967295u},
        {L"", false, 0},    {L"4294967296", false, 0}, {L"-1", false, 0},
        {L"12a", false, 0}, {L" 12", false, 0},        {L"99999999999999999999", false, 0},
    };
    for (const IdCase& c : cases) {
        DWORD value = 77;
        EXPECT_EQ(ParseProcessId(c.text, &value), c.isNumber) << c.text.c_str();
        if (c.isNumber) {
            EXPECT_EQ(value, c.value);
        } else {
            EXPECT_EQ(value, 77u) << "untouched on failure";
        }
    }
}

TEST(UiExeNames, OnlyAsciiLettersFoldAndTheWholeNameCounts) {
    EXPECT_TRUE(ExeNamesEqual(L"Notepad.EXE", L"notepad.exe"));
    EXPECT_FALSE(ExeNamesEqual(L"notepad", L"notepad.exe"));
    EXPECT_FALSE(ExeNamesEqual(L"\u00C4pp.exe", L"\u00E4pp.exe"));  // not A to Z
    EXPECT_FALSE(ExeNamesEqual(L"a[.exe", L"a{.exe"));              // '[' is no letter
}

TEST(UiExeNames, LookupsTakeTheFirstMatchInSnapshotOrder) {
    std::vector<ProcessEntry> snapshot = {
        {4, 0, L"System"}, {40, 4, L"worker.exe"}, {41, 4, L"WORKER.exe"}};
    DWORD id = 0;
    ASSERT_TRUE(FindIdByName(snapshot, L"Worker.EXE", &id));
    EXPECT_EQ(id, 40u);
    EXPECT_FALSE(FindIdByName(snapshot, L"worker", &id));

    std::wstring name;
    ASSERT_TRUE(FindNameById(snapshot, 41, &name));
    EXPECT_EQ(name, L"WORKER.exe");
    EXPECT_FALSE(FindNameById(snapshot, 5, &name));
}

struct ColourCase {
    std::wstring text;
    bool isColour;
    COLORREF colour;
};

TEST(UiLinkColour, ThreeNumbersWithTwoCommasMakeAColour) {
    const ColourCase cases[] = {
        {L"0,128,0", true, RGB(0, 128, 0)},
        {L"255,255,255", true, RGB(255, 255, 255)},
        {L"0, 0, 255", true, RGB(0, 0, 255)},
        {L"256,257,511", true, RGB(0, 1, 255)},  // low 8 bits of each
        {L"0,128", false, 0},
        {L"0,128,", false, 0},
        {L"", false, 0},
        {L"blue", false, 0},
        {L"1,2,3,4", false, 0},
        {L"1;2;3", false, 0},
    };
    for (const ColourCase& c : cases) {
        COLORREF colour = RGB(9, 9, 9);
        EXPECT_EQ(ParseLinkColour(c.text, &colour), c.isColour) << c.text.c_str();
        EXPECT_EQ(colour, c.isColour ? c.colour : RGB(9, 9, 9)) << c.text.c_str();
    }
}

}  // namespace
