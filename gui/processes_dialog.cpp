#include "gui/processes_dialog.h"

#include <vector>

#include "gui/logic/process_tree.h"
#include "gui/process_snapshot.h"
#include "gui/resource_ids.h"

CProcessesDlg::CProcessesDlg(DWORD* chosen) : chosen_(chosen) {
    OnMessage(WM_INITDIALOG, [this](WPARAM, LPARAM) { return OnInitDialog(); });
    OnMessage(WM_NOTIFY, [this](WPARAM, LPARAM lParam) { return OnNotify(lParam); });
    OnCommand(IDOK, BN_CLICKED, [this] { Choose(); });
    OnCommand(IDCANCEL, BN_CLICKED, [this] { EndModal(IDCANCEL); });
    OnCommand(IDC_REFRESH, BN_CLICKED, [this] { FillProcessTree(); });
}

INT_PTR CProcessesDlg::OnInitDialog() {
    CenterOver(GetWindow(Window(), GW_OWNER));
    tree_ = Item(IDC_PROCESS_TREE);
    FillProcessTree();
    return TRUE;
}

INT_PTR CProcessesDlg::OnNotify(LPARAM lParam) {
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->idFrom == IDC_PROCESS_TREE && header->code == NM_DBLCLK) {
        Choose();
        return TRUE;
    }
    return FALSE;
}

void CProcessesDlg::FillProcessTree() {
    TreeView_DeleteAllItems(tree_);
    std::vector<ProcessEntry> processes;
    if (!ReadProcessSnapshot(&processes)) {
        return;  // an empty tree; OK then asks for a selection
    }
    ProcessTree placement = BuildProcessTree(processes);
    std::vector<HTREEITEM> items(placement.size(), nullptr);
    for (size_t i = 0; i < placement.size(); ++i) {
        const ProcessTreeNode& node = placement[i];
        // Parents come before their children, so the parent's item exists.
        HTREEITEM parent = node.parent == kNoNode ? TVI_ROOT : items[node.parent];
        TVINSERTSTRUCTW insert = {};
        insert.hParent = parent;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
        insert.item.pszText = const_cast<wchar_t*>(node.text.c_str());
        insert.item.lParam = static_cast<LPARAM>(node.processId);
        items[i] = TreeView_InsertItem(tree_, &insert);
        if (parent != TVI_ROOT && parent != nullptr) {
            TreeView_Expand(tree_, parent, TVE_EXPAND);
        }
    }
}

void CProcessesDlg::Choose() {
    HTREEITEM selected = TreeView_GetSelection(tree_);
    if (selected == nullptr) {
        ShowMessage(L"Please select a process to dump.");
        return;
    }
    TVITEMW item = {};
    item.mask = TVIF_PARAM;
    item.hItem = selected;
    if (!TreeView_GetItem(tree_, &item)) {
        ShowMessage(L"Please select a process to dump.");
        return;
    }
    *chosen_ = static_cast<DWORD>(item.lParam);
    EndModal(IDOK);
}
