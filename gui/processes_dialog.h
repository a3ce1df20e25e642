// The process picker: every running process under the process that started
// it; OK or a double-click hands the chosen identifier back.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "gui/dialog/dialog.h"

class CProcessesDlg : public Dialog {
  public:
    // chosen is written only when the picker ends with OK.
    explicit CProcessesDlg(DWORD* chosen);

    INT_PTR RunModal(HINSTANCE instance, HWND owner) {
        return Dialog::RunModal(instance, kTemplateId, owner);
    }

  private:
    static constexpr int kTemplateId = 201;

    INT_PTR OnInitDialog();
    INT_PTR OnNotify(LPARAM lParam);
    void FillProcessTree();
    void Choose();

    DWORD* chosen_;
    HWND tree_ = nullptr;
};
