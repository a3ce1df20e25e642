// Placement of running processes in the picker's tree, computed over a plain
// list of snapshot entries so that it can be checked without a tree control.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct ProcessEntry {
    DWORD processId = 0;
    DWORD parentProcessId = 0;
    std::wstring exeName;  // file name only, no folder
};

constexpr int kNoNode = -1;

// One tree item. Nodes are kept in insertion order, so a parent always comes
// before its children; links are indexes into the same vector.
struct ProcessTreeNode {
    DWORD processId = 0;
    std::wstring text;  // "name (id)"
    int parent = kNoNode;
    int firstChild = kNoNode;
    int lastChild = kNoNode;
    int nextSibling = kNoNode;
};

using ProcessTree = std::vector<ProcessTreeNode>;

// Depth-first in tree order from start and its following siblings: the first
// node whose identifier matches, or kNoNode.
int FindTreeItemByProcessId(const ProcessTree& tree, int start, DWORD processId);

// Each process (identifier 0 skipped) goes last under the first node found
// for its parent identifier among the nodes placed so far, or last at the top
// level when there is none: a parent listed later, gone, or 0 leaves the child
// at the top.
ProcessTree BuildProcessTree(const std::vector<ProcessEntry>& snapshot);
