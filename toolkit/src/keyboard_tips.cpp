// The key tip popup: a per-pixel-alpha window with a nine-grid background and
// up to three centred lines in the toolkit's own font.
#include "tavri/menu.h"
#include "tavri/paint_manager.h"

namespace {
constexpr int kTipWidth = 190;
constexpr int kTipHeight = 100;

CString TipFamily() {
    const FontFamily* f = PaintManager::ToolkitFontFamily();
    return f ? f->family : CString(L"Open Sans Semibold");
}
}  // namespace

CKeyboardTips::CKeyboardTips() = default;

CKeyboardTips::~CKeyboardTips() {
    if (m_hWnd && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
}

int CKeyboardTips::Create(HWND owner) {
    // Never activated: a tip must not take the focus from the window it explains.
    const HWND hwnd = MWindow::Create(owner, L"KeyboardTip Window", 0x96000080,
                                      WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, CRect());
    if (!hwnd) return 0;
    if (!m_background) LoadBKImage(L"img_tip_bk.png");
    return 1;
}

int CKeyboardTips::LoadBKImage(const CString& file) {
    m_background = MRender::LoadImageFromFile(PaintManager::GetSkinFolder() + file);
    return m_background ? 1 : 0;
}

void CKeyboardTips::SetBackMode(enumBackMode mode, int corner) {
    m_backMode = mode;
    m_corner = corner;
}

void CKeyboardTips::SetAirBladderMsg(const wchar_t* title, const wchar_t* line2, const wchar_t* line3, int x, int y) {
    const CString t(title), l2(line2), l3(line3);
    if (t == m_title && l2 == m_line2 && l3 == m_line3 && CPoint(x, y) == m_anchor) return;
    m_title = t;
    m_line2 = l2;
    m_line3 = l3;
    m_anchor = CPoint(x, y);
    if (m_title.empty() || !m_hWnd) return;
    ::MoveWindow(m_hWnd, x - kTipWidth / 2, y - kTipHeight, kTipWidth, kTipHeight, 1);
    ::InvalidateRect(m_hWnd, nullptr, 0);
}

int CKeyboardTips::ShowWindow(int cmd) {
    if (!m_hWnd) return 0;
    if (cmd == SW_SHOW || cmd == SW_SHOWNORMAL) cmd = SW_SHOWNOACTIVATE;
    return ::ShowWindow(m_hWnd, cmd);
}

void CKeyboardTips::Paint() {
    PAINTSTRUCT ps;
    Image* surface = ::BeginPaint(m_hWnd, &ps);
    if (surface) {
        const int w = surface->Width();
        const int h = surface->Height();
        const CRect client(0, 0, w, h);
        ps.rcPaint = client;
        Graphics g(*surface);
        g.ClearRect(client, 0);
        if (m_background) {
            if (m_backMode == BackModeNineGrid)
                MRender::DrawImageFrame(g, m_background.get(), client, 0, 0, m_background->Width(),
                                        m_background->Height(), m_corner);
            else
                g.DrawImage(*m_background, 0, 0);
        }
        if (!m_title.empty()) {
            const CString family = TipFamily();
            const StringFormat centred(1, 4);
            g.DrawString(m_title, Font(family, 14), CRect(10, 8, 10 + (w - 20), 8 + 20), centred, 0xFFC8C8C8);
            g.DrawString(m_line2, Font(family, 14), CRect(10, 35, 10 + (w - 20), 35 + 20), centred, 0xFFFFFFFF);
            g.DrawString(m_line3, Font(family, 18), CRect(10, 63, 10 + (w - 20), 63 + 24), centred, 0xFFFFFFFF);
        }
    }
    ::EndPaint(m_hWnd, &ps);
}

LRESULT CKeyboardTips::OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT:
        Paint();
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_TIMER:
        if (wParam == kHideTimer) {
            ::KillTimer(m_hWnd, kHideTimer);
            ::ShowWindow(m_hWnd, SW_HIDE);
            return 0;
        }
        break;
    default:
        break;
    }
    return MWindow::OnWindowMessage(msg, wParam, lParam);
}
