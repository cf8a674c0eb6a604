// The tooltip of a toolkit window: one small top-most window per window,
// shown after the mouse rests over the tool area with a text set.
#pragma once

#include "tavri/window.h"

class ToolTipWnd : public MWindow {
public:
    ToolTipWnd();
    ~ToolTipWnd() override;

    const wchar_t* GetWindowClassName() const override;  // "TavriToolTip"
    LRESULT OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

    bool Create(HWND owner);
    // A non-empty text activates the tip; an empty one deactivates and hides it.
    void SetText(const CString& text, const CRect& toolRect);
    // Mouse messages of the owner window, for the tip's show and hide timing.
    void RelayEvent(const MSG& msg);
    CString GetText() const { return m_text; }
    bool IsActive() const { return m_active; }
    bool IsShown() const;

    static constexpr UINT kShowTimer = 1;
    static constexpr UINT kHideTimer = 2;
    static constexpr int kInitialDelayMs = 500;
    static constexpr int kAutoPopMs = 5000;
    static constexpr int kMaxTipWidth = 256;

private:
    void Show();
    void Hide();
    void Paint();

    HWND m_owner = nullptr;
    CString m_text;
    CRect m_tool;
    bool m_active = false;
    CPoint m_lastPt{-1, -1};
};
