#include "gui/logic/process_tree.h"

namespace {

void Link(ProcessTree& tree, int node, int parent, int& lastTopLevel) {
    int& last = parent == kNoNode ? lastTopLevel : tree[parent].lastChild;
    if (last != kNoNode) {
        tree[last].nextSibling = node;
    } else if (parent != kNoNode) {
        tree[parent].firstChild = node;
    }
    last = node;
    tree[node].parent = parent;
}

}  // namespace

int FindTreeItemByProcessId(const ProcessTree& tree, int start, DWORD processId) {
    for (int node = start; node != kNoNode; node = tree[node].nextSibling) {
        if (tree[node].processId == processId) {
            return node;
        }
        if (tree[node].firstChild != kNoNode) {
            int found = FindTreeItemByProcessId(tree, tree[node].firstChild, processId);
            if (found != kNoNode) {
                return found;
            }
        }
    }
    return kNoNode;
}

ProcessTree BuildProcessTree(const std::vector<ProcessEntry>& snapshot) {
    ProcessTree tree;
    int lastTopLevel = kNoNode;
    for (const ProcessEntry& entry : snapshot) {
        if (entry.processId == 0) {
            continue;
        }
        // The first node ever placed is at the top level, so the top level
        // always starts at index 0.
        int parent =
            tree.empty() ? kNoNode : FindTreeItemByProcessId(tree, 0, entry.parentProcessId);
        ProcessTreeNode node;
        node.processId = entry.processId;
        node.text = entry.exeName + L" (" + std::to_wstring(entry.processId) + L")";
        tree.push_back(node);
        Link(tree, static_cast<int>(tree.size()) - 1, parent, lastTopLevel);
    }
    return tree;
}
