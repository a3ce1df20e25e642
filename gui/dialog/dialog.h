// A small dialog layer: one object per dialog, a table from window message or
// command identifier to handler, modeless and modal runs from a template, and
// data exchange between controls and plain integers.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

class Dialog {
  public:
    Dialog() = default;
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Modeless: false when the window could not be created.
    bool CreateModeless(HINSTANCE instance, int templateId, HWND owner);
    // Modal: the code given to EndModal, or -1 when the dialog could not be shown.
    INT_PTR RunModal(HINSTANCE instance, int templateId, HWND owner);

    HWND Window() const { return window_; }
    HWND Item(int id) const { return GetDlgItem(window_, id); }

  protected:
    using MessageHandler = std::function<INT_PTR(WPARAM, LPARAM)>;
    using CommandHandler = std::function<void()>;

    // The handler's return value is the dialog procedure's (TRUE: handled).
    void OnMessage(UINT message, MessageHandler handler);
    // notification is BN_CLICKED (also Enter and Escape), EN_CHANGE, ...
    void OnCommand(int id, WORD notification, CommandHandler handler);

    void EndModal(INT_PTR result) { EndDialog(window_, result); }
    // Over the owner, or over the work area of the monitor without one.
    void CenterOver(HWND owner);
    int ShowMessage(const wchar_t* text);  // empty caption, OK button

    // Data exchange: save reads the control into the value, otherwise the
    // value is written to the control.
    void ExchangeCheck(int id, int& state, bool save);
    // A radio group runs from its first button to the next control that
    // starts a group; only radio buttons count. -1 means none selected.
    void ExchangeRadioGroup(int firstId, int& index, bool save);
    // A signed decimal number. When saving, the value is stored even when it
    // fails (0 for no number); the failure is reported and false returned.
    bool ExchangeInt(int id, int& value, bool save, int minimum, int maximum);

    // Balloon tip with the error icon on an edit.
    void ShowBalloon(int id, const wchar_t* title, const wchar_t* text);
    void ReportNotANumber(int id);
    void ReportOutOfRange(int id, int minimum, int maximum);

    bool HasFocus(int id) const { return GetFocus() == Item(id); }
    void FocusItem(int id);

  private:
    struct CommandRoute {
        int id;
        WORD notification;
        CommandHandler handler;
    };
    struct MessageRoute {
        UINT message;
        MessageHandler handler;
    };

    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    std::vector<MessageRoute> messages_;
    std::vector<CommandRoute> commands_;
    HWND window_ = nullptr;
};
