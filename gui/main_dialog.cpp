#include "gui/main_dialog.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "gui/about_dialog.h"
#include "gui/console_launch.h"
#include "gui/logic/text_values.h"
#include "gui/process_snapshot.h"
#include "gui/processes_dialog.h"
#include "gui/resource_ids.h"

namespace {

constexpr int kCpuUsageMaximum = 100;
constexpr int kMemUsageMaximum = 4096;
// Edits hand over at most this many characters; longer texts are refused,
// never cut.
constexpr int kLongestText = MAX_PATH - 1;
constexpr int kExitCodeOnClose = IDCANCEL;

const wchar_t kStillRunning[] =
    L"varnhold.exe is still running.\r\nUse Ctrl+C to detach and terminate varnhold first";
const wchar_t kCannotExtract[] =
    L"Unable to extract image. Run varnhold_ui from a writeable directory.";

}  // namespace

CMainDlg::CMainDlg(HINSTANCE instance) : instance_(instance) {
    OnMessage(WM_INITDIALOG, [this](WPARAM, LPARAM) { return OnInitDialog(); });
    OnMessage(WM_DESTROY, [this](WPARAM, LPARAM) -> INT_PTR {
        OnDestroy();
        return TRUE;
    });
    OnCommand(IDC_CPU_ENABLE, BN_CLICKED,
              [this] { OnEnableClicked(IDC_CPU_ENABLE, IDC_CPU_ABOVE, IDC_CPU_USAGE); });
    OnCommand(IDC_MEM_ENABLE, BN_CLICKED,
              [this] { OnEnableClicked(IDC_MEM_ENABLE, IDC_MEM_ABOVE, IDC_MEM_USAGE); });
    OnCommand(IDC_CPU_USAGE, EN_CHANGE,
              [this] { GuardRange(IDC_CPU_USAGE, choices_.cpuUsage, kCpuUsageMaximum); });
    OnCommand(IDC_MEM_USAGE, EN_CHANGE,
              [this] { GuardRange(IDC_MEM_USAGE, choices_.memUsage, kMemUsageMaximum); });
    OnCommand(IDC_PROCESS_NAME, EN_CHANGE, [this] { OnNameChanged(); });
    OnCommand(IDC_PROCESS_ID, EN_CHANGE, [this] { OnIdChanged(); });
    OnCommand(IDC_OPEN_PROCESS, BN_CLICKED, [this] { OnOpenProcess(); });
    OnCommand(IDC_BROWSE_DUMP_PATH, BN_CLICKED, [this] { OnBrowseDumpPath(); });
    OnCommand(IDC_ABOUT, BN_CLICKED, [this] { OnAbout(); });
    OnCommand(IDOK, BN_CLICKED, [this] { OnDump(); });
    OnCommand(IDCANCEL, BN_CLICKED, [this] { OnCancel(); });
}

CMainDlg::~CMainDlg() {
    if (Window() != nullptr) {
        DestroyWindow(Window());
    }
}

INT_PTR CMainDlg::OnInitDialog() {
    CenterOver(nullptr);
    bigIcon_.Reset(static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_PROGRAM),
                                                 IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                                 GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR)));
    smallIcon_.Reset(static_cast<HICON>(
        LoadImageW(instance_, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR)));
    SendMessageW(Window(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.Get()));
    SendMessageW(Window(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.Get()));

    SendDlgItemMessageW(Window(), IDC_PROCESS_NAME, EM_SETLIMITTEXT, kLongestText, 0);
    SendDlgItemMessageW(Window(), IDC_PROCESS_ID, EM_SETLIMITTEXT, 10, 0);  // 4294967295
    SendDlgItemMessageW(Window(), IDC_DUMP_PATH, EM_SETLIMITTEXT, kLongestText, 0);

    ExchangeState(false);
    ApplyEnableRule(IDC_CPU_ENABLE, IDC_CPU_ABOVE, IDC_CPU_USAGE);
    ApplyEnableRule(IDC_MEM_ENABLE, IDC_MEM_ABOVE, IDC_MEM_USAGE);
    PutDesktopDumpPath();
    return TRUE;  // the first tab stop takes the focus
}

void CMainDlg::OnDestroy() {
    // Fails harmlessly while the console program still runs from that file.
    consoleImage_.Remove();
    PostQuitMessage(kExitCodeOnClose);
}

bool CMainDlg::ExchangeState(bool save) {
    ExchangeRadioGroup(IDC_MINI_DUMP, choices_.dumpTypeIndex, save);
    ExchangeRadioGroup(IDC_CPU_ABOVE, choices_.cpuBelow, save);
    ExchangeRadioGroup(IDC_MEM_ABOVE, choices_.memBelow, save);
    ExchangeCheck(IDC_CPU_ENABLE, choices_.cpuEnable, save);
    ExchangeCheck(IDC_MEM_ENABLE, choices_.memEnable, save);
    ExchangeCheck(IDC_HUNG_WINDOW, choices_.hungWindowCheck, save);
    ExchangeCheck(IDC_EXCEPTION, choices_.exceptionCheck, save);
    ExchangeCheck(IDC_PROCESS_EXIT, choices_.processExitCheck, save);
    return ExchangeInt(IDC_CPU_USAGE, choices_.cpuUsage, save, 0, kCpuUsageMaximum) &&
           ExchangeInt(IDC_MEM_USAGE, choices_.memUsage, save, 0, kMemUsageMaximum);
}

void CMainDlg::ApplyEnableRule(int enableId, int firstId, int lastId) {
    BOOL enable = IsDlgButtonChecked(Window(), enableId) == BST_CHECKED;
    for (int id = firstId; id <= lastId; ++id) {
        EnableWindow(Item(id), enable);
    }
}

void CMainDlg::OnEnableClicked(int enableId, int firstId, int lastId) {
    ExchangeState(true);
    ApplyEnableRule(enableId, firstId, lastId);
}

// Typing can never leave a usage edit invalid: a bad text brings the last
// good number back. Changes the program makes while the focus is elsewhere
// are not the user's typing and are left alone.
void CMainDlg::GuardRange(int id, int& value, int maximum) {
    if (!HasFocus(id)) {
        return;
    }
    int remembered = value;
    if (!ExchangeInt(id, value, true, 0, maximum)) {
        value = remembered;
        ExchangeInt(id, value, false, 0, maximum);  // raises one more, valid, change
    }
}

void CMainDlg::OnNameChanged() {
    if (!HasFocus(IDC_PROCESS_NAME)) {
        return;  // written by the identifier look-up
    }
    std::wstring name = ItemText(IDC_PROCESS_NAME);
    if (name.empty()) {
        return;
    }
    DWORD processId = 0;
    if (!FindProcessIdByName(name, &processId)) {
        processId = 0;
    }
    SetDlgItemInt(Window(), IDC_PROCESS_ID, processId, FALSE);
}

void CMainDlg::OnIdChanged() {
    if (!HasFocus(IDC_PROCESS_ID)) {
        return;  // written by the name look-up
    }
    DWORD processId = 0;
    if (!ParseProcessId(ItemText(IDC_PROCESS_ID), &processId)) {
        return;
    }
    std::wstring name;
    if (!FindProcessNameById(processId, &name)) {
        name.clear();
    }
    SetDlgItemTextW(Window(), IDC_PROCESS_NAME, name.c_str());
}

void CMainDlg::OnOpenProcess() {
    DWORD chosen = 0;
    CProcessesDlg picker(&chosen);
    if (picker.RunModal(instance_, Window()) != IDOK) {
        return;
    }
    std::wstring name;
    if (!FindProcessNameById(chosen, &name)) {
        name.clear();  // gone since the tree was filled
    }
    SetDlgItemTextW(Window(), IDC_PROCESS_NAME, name.c_str());
    SetDlgItemInt(Window(), IDC_PROCESS_ID, chosen, FALSE);
}

void CMainDlg::OnBrowseDumpPath() {
    wchar_t file[MAX_PATH] = {};
    OPENFILENAMEW save = {};
    save.lStructSize = sizeof(save);
    save.hwndOwner = GetActiveWindow();
    save.lpstrFilter = L"Minidump file\0*.dmp\0All Files\0*.*\0";
    save.nFilterIndex = 1;
    save.lpstrFile = file;
    save.nMaxFile = ARRAYSIZE(file);
    save.lpstrDefExt = L"dmp";
    save.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_EXPLORER | OFN_ENABLESIZING;
    if (GetSaveFileNameW(&save)) {
        SetDlgItemTextW(Window(), IDC_DUMP_PATH, file);
    }
}

void CMainDlg::OnAbout() {
    CAboutDlg about;
    about.RunModal(instance_, GetActiveWindow());
}

void CMainDlg::OnDump() {
    if (ConsoleStillOpen(&consoleProcess)) {
        ShowMessage(kStillRunning);
        return;
    }
    // The range guard keeps both usage edits valid while typing; a failure
    // here has been shown and the stored values are used.
    ExchangeState(true);

    if (ItemText(IDC_PROCESS_NAME).empty()) {
        FocusItem(IDC_PROCESS_NAME);
        ShowBalloon(IDC_PROCESS_NAME, L"Error", L"Please input process name");
        return;
    }
    DWORD processId = 0;
    if (!ParseProcessId(ItemText(IDC_PROCESS_ID), &processId)) {
        FocusItem(IDC_PROCESS_ID);
        ShowBalloon(IDC_PROCESS_ID, L"Error", L"Please input process id");
        return;
    }
    std::wstring dumpPath = ItemText(IDC_DUMP_PATH);
    const wchar_t* dumpPathProblem = nullptr;
    if (dumpPath.empty()) {
        dumpPathProblem = L"Please input dump file path";
    } else if (GetWindowTextLengthW(Item(IDC_DUMP_PATH)) > kLongestText) {
        dumpPathProblem = L"The dump file path is too long (at most 259 characters)";
    } else if (!IsQuotableDumpPath(dumpPath)) {
        dumpPathProblem = L"A dump file path cannot contain a double quote (\")";
    }
    if (dumpPathProblem != nullptr) {
        FocusItem(IDC_DUMP_PATH);
        ShowBalloon(IDC_DUMP_PATH, L"Error", dumpPathProblem);
        return;
    }

    std::wstring interpreterPath;
    if (!InterpreterPath(&interpreterPath)) {
        ShowMessage(L"Create process failed.");
        return;
    }
    ExtractAndLaunch(interpreterPath, processId, dumpPath);
}

void CMainDlg::ExtractAndLaunch(const std::wstring& interpreterPath, DWORD processId,
                                const std::wstring& dumpPath) {
    // The previous console window has closed: its file is written anew.
    consoleImage_.Remove();
    std::wstring folder;
    if (!OwnProgramFolder(&folder) ||
        !consoleImage_.Extract(CONSOLE_IMAGE_RESOURCE, folder, L"varnhold")) {
        ShowMessage(kCannotExtract);
        return;
    }
    // From here on the file is removed at close, even when the start fails.
    const std::wstring commandLine =
        BuildCommandLine(choices_, processId, dumpPath, consoleImage_.Path(), interpreterPath);
    if (!LaunchInterpreter(interpreterPath, commandLine, &consoleProcess)) {
        ShowMessage(L"Create process failed.");
    }
}

void CMainDlg::OnCancel() {
    DestroyWindow(Window());
}

void CMainDlg::PutDesktopDumpPath() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY | CSIDL_FLAG_CREATE, nullptr,
                                SHGFP_TYPE_CURRENT, path))) {
        return;
    }
    if (PathAppendW(path, L"Minidump.dmp")) {
        SetDlgItemTextW(Window(), IDC_DUMP_PATH, path);
    }
}

std::wstring CMainDlg::ItemText(int id) const {
    wchar_t text[MAX_PATH] = {};
    GetDlgItemTextW(Window(), id, text, ARRAYSIZE(text));
    return text;
}
