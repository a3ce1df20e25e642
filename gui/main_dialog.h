// The program's only main window: the user names a process, a dump file, a
// dump type and triggers; DUMP runs the console program with them.
#pragma once

#include <windows.h>

#include <string>

#include "common/extracted_program.h"
#include "common/unique_resource.h"
#include "gui/dialog/dialog.h"
#include "gui/dialog/gdi_resource.h"
#include "gui/logic/command_line.h"

class CMainDlg : public Dialog {
  public:
    explicit CMainDlg(HINSTANCE instance);
    ~CMainDlg() override;

    bool Create() { return CreateModeless(instance_, kTemplateId, nullptr); }

  private:
    static constexpr int kTemplateId = 129;

    INT_PTR OnInitDialog();
    void OnDestroy();
    // Reads (save) or writes the radio groups, check boxes and usage edits;
    // reading stops at the first usage edit that fails.
    bool ExchangeState(bool save);
    void ApplyEnableRule(int enableId, int firstId, int lastId);
    void OnEnableClicked(int enableId, int firstId, int lastId);
    void GuardRange(int id, int& value, int maximum);
    void OnNameChanged();
    void OnIdChanged();
    void OnOpenProcess();
    void OnBrowseDumpPath();
    void OnAbout();
    void OnDump();
    void OnCancel();
    void PutDesktopDumpPath();
    std::wstring ItemText(int id) const;
    void ExtractAndLaunch(const std::wstring& interpreterPath, DWORD processId,
                          const std::wstring& dumpPath);

    HINSTANCE instance_;
    UniqueIcon bigIcon_;
    UniqueIcon smallIcon_;

    // Dialog state, with the defaults every start shows.
    DialogChoices choices_;
    UniqueHandle consoleProcess;  // the command window started last
    // The console build written last, under a name of this dialog's own
    // process, so that two dialogs in one folder never share one; removed
    // at close.
    ExtractedProgram consoleImage_;
};
