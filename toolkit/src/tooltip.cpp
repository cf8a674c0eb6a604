#include "tooltip.h"

#include "platform/locale.h"
#include "tavri/manager.h"
#include "tavri/render.h"

namespace {
constexpr ARGB kTipBack = 0xFFFFFFFF;
constexpr ARGB kTipBorder = 0xFF767676;
constexpr ARGB kTipText = 0xFF000000;
constexpr int kTipFontSize = 12;

// On a Simplified Chinese system (code page 936) the tip has narrow margins.
bool NarrowMargins() {
    static const bool narrow = platform::UserUiLanguageId() == 2052;
    return narrow;
}

Font TipFont() { return Font(Manager::GetFontName(), kTipFontSize); }
}  // namespace

ToolTipWnd::ToolTipWnd() = default;

ToolTipWnd::~ToolTipWnd() {
    if (m_hWnd) ::DestroyWindow(m_hWnd);
}

const wchar_t* ToolTipWnd::GetWindowClassName() const { return L"TavriToolTip"; }

bool ToolTipWnd::Create(HWND owner) {
    m_owner = owner;
    return MWindow::Create(owner, L"", WS_POPUP, WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_TRANSPARENT,
                           CRect()) != nullptr;
}

bool ToolTipWnd::IsShown() const { return m_hWnd && ::IsWindowVisible(m_hWnd); }

void ToolTipWnd::SetText(const CString& text, const CRect& toolRect) {
    m_tool = toolRect;
    if (text == m_text && m_active == !text.empty()) return;
    m_text = text;
    m_active = !text.empty();
    if (!m_active) Hide();
    else if (IsShown()) Show();
}

void ToolTipWnd::RelayEvent(const MSG& msg) {
    if (!m_hWnd) return;
    switch (msg.message) {
    case WM_MOUSEMOVE: {
        if (!m_active) return;
        const CPoint pt(GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam));
        if (pt == m_lastPt) return;
        m_lastPt = pt;
        // The tip appears once the mouse rests; a shown tip stays put.
        if (!IsShown()) ::SetTimer(m_hWnd, kShowTimer, kInitialDelayMs, nullptr);
        return;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_MOUSELEAVE:
    case WM_MOUSEWHEEL:
        Hide();
        return;
    default:
        return;
    }
}

void ToolTipWnd::Show() {
    if (!m_hWnd || m_text.empty()) return;
    ::KillTimer(m_hWnd, kShowTimer);
    const Font font = TipFont();
    const CSize text = MRender::GetTextBounds(font, StringFormat(0, 0, true), kMaxTipWidth, m_text);
    const int mx = NarrowMargins() ? 2 : 4;
    const int my = NarrowMargins() ? 3 : 2;
    CPoint at;
    ::GetCursorPos(&at);
    at.y += 20;
    CRect r(at.x, at.y, at.x + text.cx + 2 * mx + 2, at.y + text.cy + 2 * my + 2);
    const CRect work = GetWorkAreaNear(r);
    if (r.right > work.right) r.OffsetRect(work.right - r.right, 0);
    if (r.bottom > work.bottom) r.OffsetRect(0, work.bottom - r.bottom);
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, r.left, r.top, r.Width(), r.Height(), SWP_NOACTIVATE);
    ::ShowWindow(m_hWnd, SW_SHOWNOACTIVATE);
    ::InvalidateRect(m_hWnd, nullptr, 0);
    ::SetTimer(m_hWnd, kHideTimer, kAutoPopMs, nullptr);
}

void ToolTipWnd::Hide() {
    if (!m_hWnd) return;
    ::KillTimer(m_hWnd, kShowTimer);
    ::KillTimer(m_hWnd, kHideTimer);
    if (::IsWindowVisible(m_hWnd)) ::ShowWindow(m_hWnd, SW_HIDE);
}

void ToolTipWnd::Paint() {
    PAINTSTRUCT ps;
    Image* surface = ::BeginPaint(m_hWnd, &ps);
    if (surface) {
        Graphics g(*surface);
        const CRect client(0, 0, surface->Width(), surface->Height());
        g.ClearRect(client, kTipBack);
        g.DrawRect(client, kTipBorder);
        CRect box = client;
        box.DeflateRect(NarrowMargins() ? 3 : 5, NarrowMargins() ? 4 : 3);
        g.DrawString(m_text, TipFont(), box, StringFormat(0, 0, true), kTipText);
        ps.rcPaint = client;
    }
    ::EndPaint(m_hWnd, &ps);
}

LRESULT ToolTipWnd::OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT:
        Paint();
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_TIMER:
        if (wParam == kShowTimer) {
            if (m_active) Show();
            else ::KillTimer(m_hWnd, kShowTimer);
        } else if (wParam == kHideTimer) {
            Hide();
        }
        return 0;
    default:
        return MWindow::OnWindowMessage(msg, wParam, lParam);
    }
}
