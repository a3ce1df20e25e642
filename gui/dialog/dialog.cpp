#include "gui/dialog/dialog.h"

#include <commctrl.h>

#include "common/bounded_text.h"

bool Dialog::CreateModeless(HINSTANCE instance, int templateId, HWND owner) {
    return CreateDialogParamW(instance, MAKEINTRESOURCEW(templateId), owner, DialogProc,
                              reinterpret_cast<LPARAM>(this)) != nullptr;
}

INT_PTR Dialog::RunModal(HINSTANCE instance, int templateId, HWND owner) {
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), owner, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

void Dialog::OnMessage(UINT message, MessageHandler handler) {
    messages_.push_back({message, std::move(handler)});
}

void Dialog::OnCommand(int id, WORD notification, CommandHandler handler) {
    commands_.push_back({id, notification, std::move(handler)});
}

INT_PTR CALLBACK Dialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<Dialog*>(lParam)->window_ = window;
    }
    auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) {
        return FALSE;  // messages before WM_INITDIALOG, such as WM_SETFONT
    }
    INT_PTR result = self->Dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        self->window_ = nullptr;
        SetWindowLongPtrW(window, DWLP_USER, 0);
    }
    return result;
}

INT_PTR Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) {
        int id = LOWORD(wParam);
        WORD notification = HIWORD(wParam);
        for (const CommandRoute& route : commands_) {
            if (route.id == id && route.notification == notification) {
                route.handler();
                return TRUE;
            }
        }
        return FALSE;
    }
    for (const MessageRoute& route : messages_) {
        if (route.message == message) {
            return route.handler(wParam, lParam);
        }
    }
    return FALSE;
}

void Dialog::CenterOver(HWND owner) {
    RECT area;
    if (owner != nullptr) {
        GetWindowRect(owner, &area);
    } else {
        MONITORINFO monitor = {};
        monitor.cbSize = sizeof(monitor);
        GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor);
        area = monitor.rcWork;
    }
    RECT self;
    GetWindowRect(window_, &self);
    int width = self.right - self.left;
    int height = self.bottom - self.top;
    int x = area.left + (area.right - area.left - width) / 2;
    int y = area.top + (area.bottom - area.top - height) / 2;
    SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int Dialog::ShowMessage(const wchar_t* text) {
    return MessageBoxW(window_, text, L"", MB_OK);
}

void Dialog::ExchangeCheck(int id, int& state, bool save) {
    if (save) {
        state = IsDlgButtonChecked(window_, id) == BST_CHECKED ? 1 : 0;
    } else {
        CheckDlgButton(window_, id, state != 0 ? BST_CHECKED : BST_UNCHECKED);
    }
}

void Dialog::ExchangeRadioGroup(int firstId, int& index, bool save) {
    HWND first = Item(firstId);
    if (save) {
        index = -1;
    }
    int position = 0;
    for (HWND control = first; control != nullptr; control = GetWindow(control, GW_HWNDNEXT)) {
        if (control != first && (GetWindowLongW(control, GWL_STYLE) & WS_GROUP) != 0) {
            break;
        }
        if ((SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) == 0) {
            continue;  // a label or an edit inside the group
        }
        if (save) {
            if (index == -1 && SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED) {
                index = position;
            }
        } else {
            SendMessageW(control, BM_SETCHECK, position == index ? BST_CHECKED : BST_UNCHECKED, 0);
        }
        ++position;
    }
}

bool Dialog::ExchangeInt(int id, int& value, bool save, int minimum, int maximum) {
    if (!save) {
        if (!SetDlgItemInt(window_, id, static_cast<UINT>(value), TRUE)) {
            ReportNotANumber(id);
            return false;
        }
        return true;
    }
    BOOL isNumber = FALSE;
    value = static_cast<int>(GetDlgItemInt(window_, id, &isNumber, TRUE));
    if (!isNumber) {
        value = 0;
        ReportNotANumber(id);
        return false;
    }
    if (value < minimum || value > maximum) {
        ReportOutOfRange(id, minimum, maximum);
        return false;
    }
    return true;
}

void Dialog::ShowBalloon(int id, const wchar_t* title, const wchar_t* text) {
    EDITBALLOONTIP tip = {};
    tip.cbStruct = sizeof(tip);
    tip.pszTitle = title;
    tip.pszText = text;
    tip.ttiIcon = TTI_ERROR;
    SendMessageW(Item(id), EM_SHOWBALLOONTIP, 0, reinterpret_cast<LPARAM>(&tip));
}

void Dialog::ReportNotANumber(int id) {
    MessageBeep(0xFFFFFFFF);  // the simple beep
    FocusItem(id);
}

void Dialog::ReportOutOfRange(int id, int minimum, int maximum) {
    wchar_t text[64];
    FormatCut(text, ARRAYSIZE(text), L"Input number range: %d ~ %d", minimum, maximum);
    ShowBalloon(id, L"Out of range", text);
}

void Dialog::FocusItem(int id) {
    // WM_NEXTDLGCTL also moves the default-button highlight as a dialog expects.
    SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(id)), TRUE);
}
