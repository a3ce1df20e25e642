// Entry of the dialog program: one modeless main dialog and its message loop.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "gui/main_dialog.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof(controls);
    // The tree view is the picker's; the bar classes bring the tooltips.
    controls.dwICC = ICC_BAR_CLASSES | ICC_TREEVIEW_CLASSES;
    InitCommonControlsEx(&controls);

    int exitCode = 0;  // the dialog could not be created
    {
        CMainDlg dialog(instance);
        if (dialog.Create()) {
            ShowWindow(dialog.Window(), showCommand);
            MSG message;
            BOOL got;
            while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0 && got != -1) {
                if (dialog.Window() != nullptr && IsDialogMessageW(dialog.Window(), &message)) {
                    continue;
                }
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            if (got == 0) {
                exitCode = static_cast<int>(message.wParam);
            }
        }
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return exitCode;
}
