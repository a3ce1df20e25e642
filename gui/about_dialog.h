// The About box: name, version, rights notice and the project's web address.
#pragma once

#include <windows.h>

#include "gui/dialog/dialog.h"
#include "gui/dialog/hyperlink.h"

class CAboutDlg : public Dialog {
  public:
    CAboutDlg();

    INT_PTR RunModal(HINSTANCE instance, HWND owner) {
        return Dialog::RunModal(instance, kTemplateId, owner);
    }

  private:
    static constexpr int kTemplateId = 100;

    INT_PTR OnInitDialog();

    CHyperLink link_;
};
