#include "gui/dialog/hyperlink.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include "gui/logic/text_values.h"

namespace {

constexpr UINT_PTR kSubclassId = 1;
constexpr UINT_PTR kToolId = 1;
constexpr DWORD kLongestColourSetting = 11;  // "255,255,255"

// A colour setting of the current user, or false when it is missing, too
// long or not a string.
bool ReadColourSetting(HKEY key, const wchar_t* name, COLORREF* colour) {
    wchar_t value[kLongestColourSetting + 1] = {};
    DWORD type = 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        return false;
    }
    // Registry strings need not be terminated; the size says what is there.
    size_t length = size / sizeof(wchar_t);
    while (length > 0 && value[length - 1] == L'\0') {
        --length;
    }
    if (length > kLongestColourSetting) {
        return false;
    }
    return ParseLinkColour(std::wstring(value, length), colour);
}

}  // namespace

CHyperLink::~CHyperLink() {
    if (label_ != nullptr) {
        RemoveWindowSubclass(label_, SubclassProc, kSubclassId);
    }
}

bool CHyperLink::Attach(HWND label) {
    if (!SetWindowSubclass(label, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
        return false;
    }
    label_ = label;
    // Clicks only reach a label that asks for notifications; the focus only
    // reaches one that is a tab stop.
    SetWindowLongW(label_, GWL_STYLE, GetWindowLongW(label_, GWL_STYLE) | SS_NOTIFY | WS_TABSTOP);
    if (normalFont_ == nullptr) {
        normalFont_ = reinterpret_cast<HFONT>(SendMessageW(label_, WM_GETFONT, 0, 0));
    }
    LOGFONTW font = {};
    if (normalFont_ != nullptr && GetObjectW(normalFont_, sizeof(font), &font) != 0) {
        font.lfUnderline = TRUE;
        underlinedFont_.Reset(CreateFontIndirectW(&font));
    }
    wchar_t text[256] = {};
    GetWindowTextW(label_, text, ARRAYSIZE(text));
    text_ = text;
    ReadColourSettings();
    CreateTooltip();
    return true;
}

void CHyperLink::SetLabel(const std::wstring& text) {
    text_ = text;
    if (label_ != nullptr) {
        SetWindowTextW(label_, text_.c_str());
        UpdateTooltip();
        InvalidateRect(label_, nullptr, TRUE);
    }
}

void CHyperLink::SetTarget(const std::wstring& target) {
    target_ = target;
    UpdateTooltip();
}

void CHyperLink::ReadColourSettings() {
    UniqueRegistryKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Settings", 0,
                      KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) {
        return;
    }
    ReadColourSetting(key.Get(), L"Anchor Color", &unvisited_);
    ReadColourSetting(key.Get(), L"Anchor Color Visited", &visited_);
}

void CHyperLink::CreateTooltip() {
    tooltip_ =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, GetParent(label_), nullptr, nullptr, nullptr);
    if (tooltip_ == nullptr) {
        return;  // the link works without its tip
    }
    TOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = label_;
    tool.uId = kToolId;
    tool.rect = TextRect();
    tool.lpszText = const_cast<wchar_t*>(target_.c_str());
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CHyperLink::UpdateTooltip() {
    if (tooltip_ == nullptr) {
        return;
    }
    TOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.hwnd = label_;
    tool.uId = kToolId;
    tool.rect = TextRect();
    tool.lpszText = const_cast<wchar_t*>(target_.c_str());
    SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

// The text is drawn centred at the top of the label; only that part is the link.
RECT CHyperLink::TextRect() const {
    RECT client = {};
    GetClientRect(label_, &client);
    RECT text = client;
    HDC dc = GetDC(label_);
    HFONT font = underlinedFont_ ? underlinedFont_.Get() : normalFont_;
    HGDIOBJ old = SelectObject(dc, font);
    DrawTextW(dc, text_.c_str(), -1, &text, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(label_, dc);
    int width = text.right - text.left;
    int height = text.bottom - text.top;
    text.left = client.left + (client.right - client.left - width) / 2;
    if (text.left < client.left) {
        text.left = client.left;
    }
    text.right = text.left + width;
    text.top = client.top;
    text.bottom = client.top + height;
    return text;
}

bool CHyperLink::IsOverText(LPARAM clientPoint) const {
    POINT point = {GET_X_LPARAM(clientPoint), GET_Y_LPARAM(clientPoint)};
    RECT text = TextRect();
    return PtInRect(&text, point) != FALSE;
}

void CHyperLink::Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(label_, &paint);
    RECT client;
    GetClientRect(label_, &client);
    // The dialog's static-control brush, so the link sits on the dialog's own background.
    auto brush = reinterpret_cast<HBRUSH>(SendMessageW(GetParent(label_), WM_CTLCOLORSTATIC,
                                                       reinterpret_cast<WPARAM>(dc),
                                                       reinterpret_cast<LPARAM>(label_)));
    if (brush != nullptr) {
        FillRect(dc, &client, brush);
    }
    COLORREF colour = isVisited_ ? visited_ : unvisited_;
    if (!IsWindowEnabled(label_)) {
        colour = GetSysColor(COLOR_GRAYTEXT);
    }
    SetTextColor(dc, colour);
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ old = SelectObject(dc, underlinedFont_ ? underlinedFont_.Get() : normalFont_);
    RECT text = TextRect();
    DrawTextW(dc, text_.c_str(), -1, &text, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    if (GetFocus() == label_) {
        DrawFocusRect(dc, &text);
    }
    SelectObject(dc, old);
    EndPaint(label_, &paint);
}

void CHyperLink::Navigate() {
    auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", target_.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result > 32) {
        isVisited_ = true;
        InvalidateRect(label_, nullptr, TRUE);
    }
}

LRESULT CALLBACK CHyperLink::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<CHyperLink*>(data);
    bool handled = false;
    LRESULT result = self->Handle(message, wParam, lParam, &handled);
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, SubclassProc, kSubclassId);
        self->label_ = nullptr;
        self->tooltip_ = nullptr;
    }
    return handled ? result : DefSubclassProc(window, message, wParam, lParam);
}

bool CHyperLink::ShowHandOverText() const {
    POINT point;
    GetCursorPos(&point);
    ScreenToClient(label_, &point);
    if (!IsOverText(MAKELPARAM(point.x, point.y))) {
        return false;
    }
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
    return true;
}

// A click follows the link only when the button goes down and up over it.
void CHyperLink::ReleaseClick(LPARAM clientPoint) {
    if (!pressed_) {
        return;
    }
    pressed_ = false;
    ReleaseCapture();
    if (IsOverText(clientPoint)) {
        Navigate();
    }
}

LRESULT CHyperLink::Handle(UINT message, WPARAM wParam, LPARAM lParam, bool* handled) {
    *handled = true;
    switch (message) {
        case WM_PAINT:
            Paint();
            return 0;
        case WM_ERASEBKGND:
            return TRUE;  // painting fills the whole area
        case WM_SETCURSOR:
            if (ShowHandOverText()) {
                return TRUE;
            }
            break;
        case WM_LBUTTONDOWN:
            if (IsOverText(lParam)) {
                SetFocus(label_);
                SetCapture(label_);
                pressed_ = true;
            }
            return 0;
        case WM_LBUTTONUP:
            ReleaseClick(lParam);
            return 0;
        case WM_CAPTURECHANGED:
            pressed_ = false;
            return 0;
        case WM_GETDLGCODE: {
            // Enter would otherwise go to the dialog's default button.
            const auto* key = reinterpret_cast<const MSG*>(lParam);
            LRESULT code = DLGC_WANTCHARS;
            if (key != nullptr && key->message == WM_KEYDOWN && key->wParam == VK_RETURN) {
                code |= DLGC_WANTMESSAGE;
            }
            return code;
        }
        case WM_KEYDOWN:
            if (wParam == VK_RETURN || wParam == VK_SPACE) {
                Navigate();
                return 0;
            }
            break;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case WM_ENABLE:
            InvalidateRect(label_, nullptr, TRUE);
            break;
        default:
            break;
    }
    *handled = false;
    return 0;
}
