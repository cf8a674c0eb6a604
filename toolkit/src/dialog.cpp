// MDialog: the skinned dialog, its message dispatch and its forwards to the
// paint manager.
#include "tavri/window.h"

MDialog::MDialog() { m_paintManager.SetRootObject(this); }

MDialog::~MDialog() {
    // While the dialog part still exists, so its handlers see the end.
    if (m_hWnd && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
}

const wchar_t* MDialog::GetClassNameW() { return L"MDialog"; }

LRESULT MDialog::OnBaseMessage(UINT controlId, UINT message, UINT wParam, LPARAM lParam) {
    return OnMessage(controlId, message, wParam, lParam);
}

LRESULT MDialog::OnControlUpdate(CRect rect, int redraw, MControl* control) {
    return m_paintManager.OnControlUpdate(rect, redraw, control);
}

LRESULT MDialog::OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    const HWND hwnd = m_hWnd;
    const WNDPROC previous = m_oldWndProc;
    const CPoint pt(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
    const UINT flags = static_cast<UINT>(wParam);
    bool keepWindow = false;
    switch (msg) {
    case WM_CREATE: OnCreate(reinterpret_cast<CREATESTRUCT*>(lParam)); break;
    case WM_DESTROY: OnDestroy(); break;
    case WM_SIZE: OnSize(flags, LOWORD(static_cast<std::uintptr_t>(lParam)), HIWORD(static_cast<std::uintptr_t>(lParam))); break;
    case WM_PAINT: OnPaint(); break;
    case WM_CLOSE: keepWindow = OnClose() == 0; break;
    case WM_WINDOWPOSCHANGING: OnWindowPosChanging(reinterpret_cast<WINDOWPOS*>(lParam)); break;
    case WM_WINDOWPOSCHANGED: OnWindowPosChanged(reinterpret_cast<WINDOWPOS*>(lParam)); break;
    case WM_NCACTIVATE: OnNcActivate(static_cast<BOOL>(wParam)); break;
    case WM_TIMER: OnTimer(flags); break;
    case WM_MOUSEMOVE: OnMouseMove(flags, pt); break;
    case WM_LBUTTONDOWN: OnLButtonDown(flags, pt); break;
    case WM_LBUTTONUP: OnLButtonUp(flags, pt); break;
    case WM_LBUTTONDBLCLK: OnLButtonDblClk(flags, pt); break;
    case WM_RBUTTONDOWN: OnRButtonDown(flags, pt); break;
    case WM_RBUTTONUP: OnRButtonUp(flags, pt); break;
    case WM_RBUTTONDBLCLK: OnRButtonDblClk(flags, pt); break;
    case WM_MOUSEHOVER: OnMouseHover(flags, pt); break;
    case WM_MOUSELEAVE: OnMouseLeave(); break;
    case WM_MOUSEWHEEL: OnMouseWheel(GET_KEYSTATE_WPARAM(wParam), GET_WHEEL_DELTA_WPARAM(wParam), pt); break;
    case WM_KEYDOWN: OnKeyDown(flags, LOWORD(static_cast<std::uintptr_t>(lParam)), HIWORD(static_cast<std::uintptr_t>(lParam))); break;
    case WM_GETMINMAXINFO: OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam)); break;
    case WM_ERASEBKGND: return 1;
    case WM_TAVRI_CLOSE: return OnUserCloseWindow(wParam, lParam);
    default: break;
    }
    // A handler may have ended the window.
    if (!::IsWindow(hwnd)) return 0;
    // The paint manager always gets the message too: an override runs first
    // but does not take painting or routing away from it.
    if (const LRESULT r = m_paintManager.OnWindowMessage(msg, wParam, lParam)) return r;
    if (!::IsWindow(hwnd) || keepWindow) return 0;
    return ::CallWindowProcW(previous, hwnd, msg, wParam, lParam);
}

int MDialog::PreTranslateMessage(MSG* msg) { return m_paintManager.PreTranslateMessage(msg); }

int MDialog::OnInitDialog() {
    m_paintManager.SetRootObject(this);
    m_paintManager.Init(m_hWnd, this);
    ::GetClientRect(m_hWnd, &m_clientRect);
    InitUI(m_clientRect);
    return 1;
}

void MDialog::OnDestroyMessage(HWND hwnd) {
    if (hwnd == m_paintManager.GetPaintWnd()) m_paintManager.DestroyData();
    PostNcDestroy();  // the program may delete the object here
}

CPoint MDialog::GetAirBladderPoint(MControl*, UINT) { return CPoint(); }

void MDialog::OnMinimize() {
    if (m_hWnd) ::ShowWindow(m_hWnd, SW_MINIMIZE);
}

void MDialog::OnMaximize() {
    if (m_hWnd) ::ShowWindow(m_hWnd, ::IsZoomed(m_hWnd) ? SW_RESTORE : SW_MAXIMIZE);
}

void MDialog::InitUI(CRect) {}
void MDialog::UISize(CRect) {}
LRESULT MDialog::OnMessage(UINT, UINT, UINT, LPARAM) { return 0; }

LRESULT MDialog::OnUserCloseWindow(WPARAM wParam, LPARAM lParam) {
    ::PostMessageW(m_hWnd, WM_CLOSE, wParam, lParam);
    return 1;
}

LRESULT MDialog::OnCreate(CREATESTRUCT*) {
    ModifyStyle(WS_CAPTION | WS_THICKFRAME, WS_CLIPSIBLINGS | WS_CLIPCHILDREN | 0x00000008);
    return 0;
}

LRESULT MDialog::OnSize(UINT type, int, int) {
    if (type == SIZE_MINIMIZED || !m_hWnd) return 0;
    if (m_alpha != 255) {
        ModifyExStyle(0, WS_EX_LAYERED);
        ::SetLayeredWindowAttributes(m_hWnd, 0, m_alpha, LWA_ALPHA);
    } else if (m_colorKey != 0x00FFFFFF) {
        ModifyExStyle(0, WS_EX_LAYERED);
        ::SetLayeredWindowAttributes(m_hWnd, m_colorKey, 0, LWA_COLORKEY);
    }
    ::GetClientRect(m_hWnd, &m_clientRect);
    if (m_clientRect.Width() > 1 && m_clientRect.Height() > 1) UISize(m_clientRect);
    if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, 0);
    return 0;
}

LRESULT MDialog::OnMouseMove(UINT, CPoint) { return 0; }
LRESULT MDialog::OnMouseLeave() { return 0; }
LRESULT MDialog::OnMouseHover(UINT, CPoint) { return 0; }
LRESULT MDialog::OnMouseWheel(UINT, int, CPoint) { return 0; }
LRESULT MDialog::OnLButtonDown(UINT, CPoint) { return 0; }
LRESULT MDialog::OnLButtonUp(UINT, CPoint) { return 0; }
LRESULT MDialog::OnLButtonDblClk(UINT, CPoint) { return 0; }
LRESULT MDialog::OnRButtonDown(UINT, CPoint) { return 0; }
LRESULT MDialog::OnRButtonUp(UINT, CPoint) { return 0; }
LRESULT MDialog::OnRButtonDblClk(UINT, CPoint) { return 0; }
LRESULT MDialog::OnKeyDown(UINT, UINT, UINT) { return 0; }
LRESULT MDialog::OnNcHitTest(CPoint) { return 0; }
LRESULT MDialog::OnGetMinMaxInfo(MINMAXINFO*) { return 0; }
LRESULT MDialog::OnNcCalcSize(BOOL, void*) { return 0; }
LRESULT MDialog::OnNcActivate(BOOL) { return 0; }
LRESULT MDialog::OnWindowPosChanging(WINDOWPOS*) { return 0; }
LRESULT MDialog::OnWindowPosChanged(WINDOWPOS*) { return 0; }
LRESULT MDialog::OnPaint() { return 0; }
LRESULT MDialog::OnTimer(UINT) { return 0; }
LRESULT MDialog::OnNcPaint() { return 0; }
LRESULT MDialog::OnClose() { return 1; }
LRESULT MDialog::OnDestroy() { return 0; }
void MDialog::PostNcDestroy() {}

MControl* MDialog::CreateControl(const wchar_t* className, UINT id, CRect rect, const wchar_t* text, int visible,
                                 int enabled) {
    return m_paintManager.CreateControl(1, static_cast<MObject*>(this), className, id, rect, text, visible, enabled);
}

MControl* MDialog::CreateArea(const wchar_t* className, UINT id, CRect rect, const wchar_t* text, int visible,
                              int enabled) {
    return m_paintManager.CreateControl(0, static_cast<MObject*>(this), className, id, rect, text, visible, enabled);
}

MControl* MDialog::GetControl(UINT id) { return m_paintManager.GetControl(id); }
void MDialog::SetFocusControl(MControl* control) { m_paintManager.SetFocusControl(control); }
int MDialog::LoadBKImage(const CString& file) { return m_paintManager.LoadBKImage(file); }
int MDialog::LoadBKImage(UINT resourceId, const CString& type) { return m_paintManager.LoadBKImage(resourceId, type); }
void MDialog::SetBackMode(enumBackMode mode, int corner) { m_paintManager.SetBackMode(mode, corner); }
void MDialog::SetLayeredWindow(int layered) { m_paintManager.SetLayeredWindow(layered); }
void MDialog::EnableWndDrag(int enable) { m_paintManager.EnableWndDrag(enable); }
void MDialog::SetScrollResID(UINT h, UINT v) { m_paintManager.SetScrollResID(h, v); }
UINT MDialog::SetMTimer(UINT periodMs) { return m_paintManager.SetMTimer(periodMs); }
void MDialog::KillMTimer(UINT id) { m_paintManager.KillMTimer(id); }

void MDialog::DoOK() { PostMessageW(WM_TAVRI_CLOSE, IDOK, 0); }
void MDialog::DoCancel() { PostMessageW(WM_TAVRI_CLOSE, IDCANCEL, 0); }
void MDialog::DoClose() { PostMessageW(WM_TAVRI_CLOSE, IDCANCEL, 0); }
void MDialog::DoYes() { PostMessageW(WM_TAVRI_CLOSE, IDYES, 0); }
void MDialog::DoNo() { PostMessageW(WM_TAVRI_CLOSE, IDNO, 0); }

void MDialog::SetTooltip(const CString& text, CRect rect) { m_paintManager.SetTooltip(text, rect); }
void MDialog::ClearTooltip() { m_paintManager.ClearTooltip(); }

void MDialog::SetMessage(const CString& text) {
    CRect client;
    ::GetClientRect(m_hWnd, &client);
    // A 200 x 60 box in the middle holds the 190 x 50 text area and its frame.
    const CPoint c = client.CenterPoint();
    m_paintManager.SetMessage(text, CRect(c.x - 100, c.y - 30, c.x + 100, c.y + 30));
}

void MDialog::SetProgress(int percent, const CString& text) { m_paintManager.SetProgress(percent, text, CRect()); }
