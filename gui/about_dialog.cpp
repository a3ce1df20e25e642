#include "gui/about_dialog.h"

#include "gui/resource_ids.h"

namespace {

const wchar_t kProjectWebAddress[] = L"https://varnhold.example.org";
// The same address without its scheme, which would not fit the label.
const wchar_t kProjectWebAddressShown[] = L"varnhold.example.org";

}  // namespace

CAboutDlg::CAboutDlg() {
    OnMessage(WM_INITDIALOG, [this](WPARAM, LPARAM) { return OnInitDialog(); });
    OnCommand(IDOK, BN_CLICKED, [this] { EndModal(IDOK); });
    OnCommand(IDCANCEL, BN_CLICKED, [this] { EndModal(IDCANCEL); });
}

INT_PTR CAboutDlg::OnInitDialog() {
    HWND label = Item(IDC_WEB_LINK);
    link_.SetNormalFont(reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
    link_.Attach(label);
    link_.SetLabel(kProjectWebAddressShown);
    link_.SetTarget(kProjectWebAddress);
    CenterOver(GetWindow(Window(), GW_OWNER));
    return TRUE;
}
