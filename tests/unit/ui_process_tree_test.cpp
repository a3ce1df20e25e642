// Placement of processes in the picker's tree, over made-up snapshots.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/logic/process_tree.h"

namespace {

// The tree as indented lines in display order: two blanks per level.
void Render(const ProcessTree& tree, int first, int depth, std::vector<std::wstring>* lines) {
    for (int node = first; node != kNoNode; node = tree[node].nextSibling) {
        lines->push_back(std::wstring(static_cast<size_t>(depth) * 2, L' ') + tree[node].text);
        Render(tree, tree[node].firstChild, depth + 1, lines);
    }
}

std::vector<std::wstring> Shown(const std::vector<ProcessEntry>& snapshot) {
    ProcessTree tree = BuildProcessTree(snapshot);
    std::vector<std::wstring> lines;
    if (!tree.empty()) {
        Render(tree, 0, 0, &lines);
    }
    return lines;
}

using Lines = std::vector<std::wstring>;

TEST(UiProcessTree, IdentifierZeroIsNeverListedAndItsChildrenAreTopLevel) {
    EXPECT_EQ(Shown({{0, 0, L"[System Process]"}, {4, 0, L"System"}, {8, 4, L"smss.exe"}}),
              (Lines{L"System (4)", L"  smss.exe (8)"}));
}

TEST(UiProcessTree, ChildListedBeforeItsParentIsTopLevel) {
    EXPECT_EQ(Shown({{20, 10, L"child.exe"}, {10, 1, L"parent.exe"}}),
              (Lines{L"child.exe (20)", L"parent.exe (10)"}));
}

TEST(UiProcessTree, ChildOfAnEndedParentIsTopLevel) {
    EXPECT_EQ(Shown({{10, 1, L"a.exe"}, {30, 999, L"orphan.exe"}}),
              (Lines{L"a.exe (10)", L"orphan.exe (30)"}));
}

TEST(UiProcessTree, SiblingsKeepSnapshotOrderUnsorted) {
    EXPECT_EQ(
        Shown({{10, 0, L"root.exe"},
               {50, 10, L"zeta.exe"},
               {30, 10, L"alpha.exe"},
               {40, 10, L"mid.exe"}}),
        (Lines{L"root.exe (10)", L"  zeta.exe (50)", L"  alpha.exe (30)", L"  mid.exe (40)"}));
}

TEST(UiProcessTree, GrandchildrenGoUnderTheirParentsAtAnyDepth) {
    EXPECT_EQ(Shown({{1, 0, L"a"}, {2, 1, L"b"}, {3, 2, L"c"}, {4, 1, L"d"}, {5, 3, L"e"}}),
              (Lines{L"a (1)", L"  b (2)", L"    c (3)", L"      e (5)", L"  d (4)"}));
}

// The parent of 300 ended and its identifier went to a new, unrelated
// process; the child is shown under whatever holds that identifier.
TEST(UiProcessTree, ReusedParentIdentifierPlacesTheChildUnderTheCurrentHolder) {
    EXPECT_EQ(Shown({{100, 0, L"explorer.exe"}, {200, 100, L"reuser.exe"}, {300, 200, L"old.exe"}}),
              (Lines{L"explorer.exe (100)", L"  reuser.exe (200)", L"    old.exe (300)"}));
}

// Two nodes with one identifier can only come from a snapshot that changed
// under us; the first found depth-first from the top wins.
TEST(UiProcessTree, DuplicateIdentifiersResolveDepthFirstFromTheTop) {
    ProcessTree tree = BuildProcessTree(
        {{1, 0, L"a"}, {7, 1, L"deep"}, {9, 0, L"b"}, {7, 9, L"again"}, {8, 7, L"child"}});
    ASSERT_EQ(tree.size(), 5u);
    EXPECT_EQ(tree[4].parent, 1);  // under "deep", found before "again"
    EXPECT_EQ(FindTreeItemByProcessId(tree, 0, 7), 1);
    EXPECT_EQ(FindTreeItemByProcessId(tree, 0, 8), 4);
    EXPECT_EQ(FindTreeItemByProcessId(tree, 0, 12345), kNoNode);
}

TEST(UiProcessTree, SearchStartsAtTheGivenSiblingAndNotBefore) {
    ProcessTree tree = BuildProcessTree({{1, 0, L"a"}, {2, 0, L"b"}, {3, 2, L"c"}});
    EXPECT_EQ(FindTreeItemByProcessId(tree, 1, 1), kNoNode);
    EXPECT_EQ(FindTreeItemByProcessId(tree, 1, 3), 2);
}

TEST(UiProcessTree, EmptySnapshotGivesEmptyTree) {
    EXPECT_TRUE(BuildProcessTree({}).empty());
    EXPECT_TRUE(BuildProcessTree({{0, 0, L"idle"}}).empty());
}

}  // namespace
