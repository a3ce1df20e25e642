// A label turned into a web link: underlined text in the link colours, hand
// cursor, tooltip with the target, opened with the shell on a click or with
// Enter or Space.
#pragma once

#include <windows.h>

#include <string>

#include "gui/dialog/gdi_resource.h"

class CHyperLink {
  public:
    CHyperLink() = default;
    ~CHyperLink();
    CHyperLink(const CHyperLink&) = delete;
    CHyperLink& operator=(const CHyperLink&) = delete;

    // The font the link draws with, underlined; to be set before Attach. The
    // caller keeps owning it.
    void SetNormalFont(HFONT font) { normalFont_ = font; }
    bool Attach(HWND label);
    void SetLabel(const std::wstring& text);
    void SetTarget(const std::wstring& target);

    COLORREF UnvisitedColour() const { return unvisited_; }
    COLORREF VisitedColour() const { return visited_; }

  private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR data);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam, bool* handled);
    void ReadColourSettings();
    void CreateTooltip();
    void UpdateTooltip();
    RECT TextRect() const;
    bool IsOverText(LPARAM clientPoint) const;
    bool ShowHandOverText() const;
    void ReleaseClick(LPARAM clientPoint);
    void Paint();
    void Navigate();

    HWND label_ = nullptr;
    HFONT normalFont_ = nullptr;
    UniqueFont underlinedFont_;
    HWND tooltip_ = nullptr;  // owned by the dialog, destroyed with it
    std::wstring text_;
    std::wstring target_;
    COLORREF unvisited_ = RGB(0, 0, 255);
    COLORREF visited_ = RGB(128, 0, 128);
    bool isVisited_ = false;
    bool pressed_ = false;
};
