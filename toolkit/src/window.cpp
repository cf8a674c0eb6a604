// MWindow: the shared window procedure, creation, the modal loop, centring
// and the thin forwards to the host window.
#include "tavri/window.h"

#include <map>

#include "tavri/manager.h"
#include "tavri/render.h"

MWindow::MWindow() = default;

MWindow::~MWindow() {
    if (m_hWnd && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
}

const wchar_t* MWindow::GetWindowClassName() const { return L"TavriClient"; }
const wchar_t* MWindow::GetSuperClassName() const { return nullptr; }

int MWindow::ShowWindow(int cmd) { return m_hWnd ? ::ShowWindow(m_hWnd, cmd) : 0; }

LRESULT MWindow::OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::CallWindowProcW(m_oldWndProc, m_hWnd, msg, wParam, lParam);
}

int MWindow::PreTranslateMessage(MSG*) { return 0; }
int MWindow::OnInitDialog() { return 1; }
void MWindow::OnDestroyMessage(HWND) {}

namespace {

// Messages being handled per object: the end of a window destroyed inside
// one of its own handlers waits until that handler has returned, so the
// object (which the program may delete at the end) outlives the handler.
struct Reentry {
    int depth = 0;
    bool destroyPending = false;
    HWND destroyed = nullptr;
};

std::map<MWindow*, Reentry>& Reentries() {
    static std::map<MWindow*, Reentry> map;
    return map;
}

}  // namespace

LRESULT MWindow::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCT*>(lParam);
        auto* self = cs ? static_cast<MWindow*>(cs->lpCreateParams) : nullptr;
        if (self) {
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
            self->m_hWnd = hwnd;
            Manager::AddWnd(hwnd);
        }
    }
    auto* self = reinterpret_cast<MWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        const LRESULT r = ::CallWindowProcW(self->m_oldWndProc, hwnd, msg, wParam, lParam);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->m_hWnd = nullptr;
        Manager::DeleteWnd(hwnd);
        auto it = Reentries().find(self);
        if (it != Reentries().end() && it->second.depth > 0) {
            it->second.destroyPending = true;
            it->second.destroyed = hwnd;
        } else {
            self->OnDestroyMessage(hwnd);
        }
        return r;
    }
    Reentry& entry = Reentries()[self];
    ++entry.depth;
    const LRESULT r = self->OnWindowMessage(msg, wParam, lParam);
    auto it = Reentries().find(self);
    if (--it->second.depth == 0) {
        const bool pending = it->second.destroyPending;
        const HWND destroyed = it->second.destroyed;
        Reentries().erase(it);
        if (pending) self->OnDestroyMessage(destroyed);  // may delete self
    }
    return r;
}

HWND MWindow::Create(HWND owner, const wchar_t* title, DWORD style, DWORD exStyle, CRect rect) {
    if (m_hWnd && ::IsWindow(m_hWnd)) return m_hWnd;
    const wchar_t* className = GetWindowClassName();
    if (!IsClassRegistered(className) &&
        !RegisterClassW(className, &MWindow::WndProc, CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS))
        return nullptr;
    m_hWndParent = owner;
    HWND hwnd = ::CreateWindowExW(exStyle, className, title, style, rect.left, rect.top, rect.Width(), rect.Height(),
                                  owner, Manager::GetInstance(), this);
    if (!hwnd) return nullptr;
    OnInitDialog();
    return m_hWnd;
}

HWND MWindow::Create(HWND owner) { return Create(owner, L"TavriClient", 0x0000080B, 0, CRect(0, 0, 800, 600)); }

HWND MWindow::Create(HWND owner, CRect rect) { return Create(owner, L"TavriClient", 0x0000080B, 0, rect); }

UINT MWindow::ShowModal(int cmdShow) {
    const HWND hwnd = m_hWnd;
    if (!hwnd || !::IsWindow(hwnd)) return 0xFFFFFFFF;
    const HWND owner = ::GetWindow(hwnd, GW_OWNER);
    ::ShowWindow(hwnd, cmdShow);
    if (owner) ::EnableWindow(owner, 0);
    UINT result = 0;
    bool quit = false;
    int quitCode = 0;
    MSG msg;
    // Only locals after a dispatch: the object may be deleted with its window.
    while (::IsWindow(hwnd)) {
        if (!::GetMessageW(&msg)) {
            quit = true;
            quitCode = static_cast<int>(msg.wParam);
            break;
        }
        if (msg.hwnd == hwnd && msg.message == WM_CLOSE) {
            result = static_cast<UINT>(msg.wParam);
            if (owner) {
                ::EnableWindow(owner, 1);
                ::SetFocus(owner);
            }
        }
        if (::IsWindow(hwnd) && PreTranslateMessage(&msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    if (owner && ::IsWindow(owner)) {
        ::EnableWindow(owner, 1);
        ::SetFocus(owner);
    }
    if (quit) ::PostQuitMessage(quitCode);
    return result;
}

void MWindow::CenterWindow(MWindow* relativeTo) {
    if (!m_hWnd) return;
    HWND ref = relativeTo ? relativeTo->GetSafeHwnd() : ::GetWindow(m_hWnd, GW_OWNER);
    CRect self;
    ::GetWindowRect(m_hWnd, &self);
    CRect refRect;
    const bool haveRef = ref && ::GetWindowRect(ref, &refRect);
    const CRect work = GetWorkAreaNear(haveRef ? refRect : self);
    const CRect area = haveRef && ::IsWindowVisible(ref) && !::IsIconic(ref) ? refRect : work;
    int x = (area.left + area.right) / 2 - self.Width() / 2;
    int y = (area.top + area.bottom) / 2 - self.Height() / 2;
    // Kept inside the work area: right and bottom first, then left and top.
    if (x + self.Width() > work.right) x = work.right - self.Width();
    if (y + self.Height() > work.bottom) y = work.bottom - self.Height();
    if (x < work.left) x = work.left;
    if (y < work.top) y = work.top;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MWindow::SetIcon(UINT resourceId) {
    if (!m_hWnd) return;
    for (const wchar_t* type : {L"ICO", L"ICON", L"PNG"}) {
        if (auto icon = MRender::LoadImageFromIDResource(resourceId, type, Manager::GetInstance())) {
            ::SetWindowIcon(m_hWnd, icon.get());
            return;
        }
    }
}

BOOL MWindow::DestroyWindow() { return m_hWnd ? ::DestroyWindow(m_hWnd) : 0; }
BOOL MWindow::EnableWindow(int enable) { return m_hWnd ? ::EnableWindow(m_hWnd, enable) : 0; }
UINT_PTR MWindow::SetTimer(UINT_PTR id, UINT elapseMs) { return m_hWnd ? ::SetTimer(m_hWnd, id, elapseMs, nullptr) : 0; }
BOOL MWindow::KillTimer(UINT_PTR id) { return m_hWnd ? ::KillTimer(m_hWnd, id) : 0; }
HWND MWindow::SetCapture() { return m_hWnd ? ::SetCapture(m_hWnd) : nullptr; }
BOOL MWindow::ReleaseCapture() { return m_hWnd ? ::ReleaseCapture() : 0; }
HWND MWindow::SetFocus() { return m_hWnd ? ::SetFocus(m_hWnd) : nullptr; }
BOOL MWindow::SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    return m_hWnd ? ::SetWindowPos(m_hWnd, insertAfter, x, y, cx, cy, flags) : 0;
}
BOOL MWindow::MoveWindow(int x, int y, int width, int height, BOOL repaint) {
    return m_hWnd ? ::MoveWindow(m_hWnd, x, y, width, height, repaint) : 0;
}
BOOL MWindow::MoveWindow(const CRect& rect, BOOL repaint) {
    return MoveWindow(rect.left, rect.top, rect.Width(), rect.Height(), repaint);
}
BOOL MWindow::GetClientRect(CRect* rect) const { return m_hWnd ? ::GetClientRect(m_hWnd, rect) : 0; }
BOOL MWindow::GetWindowRect(CRect* rect) const { return m_hWnd ? ::GetWindowRect(m_hWnd, rect) : 0; }
BOOL MWindow::ClientToScreen(CPoint* pt) const { return m_hWnd ? ::ClientToScreen(m_hWnd, pt) : 0; }
BOOL MWindow::ScreenToClient(CPoint* pt) const { return m_hWnd ? ::ScreenToClient(m_hWnd, pt) : 0; }
BOOL MWindow::InvalidateRect(const CRect* rect, BOOL erase) { return m_hWnd ? ::InvalidateRect(m_hWnd, rect, erase) : 0; }
LRESULT MWindow::SendMessageW(UINT msg, WPARAM wParam, LPARAM lParam) {
    return m_hWnd ? ::SendMessageW(m_hWnd, msg, wParam, lParam) : 0;
}
BOOL MWindow::PostMessageW(UINT msg, WPARAM wParam, LPARAM lParam) {
    return m_hWnd ? ::PostMessageW(m_hWnd, msg, wParam, lParam) : 0;
}
DWORD MWindow::GetStyle() const { return m_hWnd ? static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)) : 0; }
DWORD MWindow::GetExStyle() const {
    return m_hWnd ? static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE)) : 0;
}
BOOL MWindow::ModifyStyle(DWORD remove, DWORD add) {
    if (!m_hWnd) return 0;
    const DWORD style = (GetStyle() & ~remove) | add;
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(style));
    return 1;
}
BOOL MWindow::ModifyExStyle(DWORD remove, DWORD add) {
    if (!m_hWnd) return 0;
    const DWORD style = (GetExStyle() & ~remove) | add;
    ::SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, static_cast<LONG_PTR>(style));
    return 1;
}
BOOL MWindow::SetWindowTextW(const wchar_t* text) { return m_hWnd ? ::SetWindowTextW(m_hWnd, text) : 0; }
CString MWindow::GetWindowTextW() const { return m_hWnd ? ::GetWindowTextW(m_hWnd) : CString(); }
BOOL MWindow::IsWindowEnabled() const { return m_hWnd ? ::IsWindowEnabled(m_hWnd) : 0; }
BOOL MWindow::IsWindowVisible() const { return m_hWnd ? ::IsWindowVisible(m_hWnd) : 0; }
BOOL MWindow::IsIconic() const { return m_hWnd ? ::IsIconic(m_hWnd) : 0; }

void MWindow::BringToTop() {
    if (!m_hWnd) return;
    ::SetForegroundWindow(m_hWnd);
    ::ShowWindow(m_hWnd, ::IsIconic(m_hWnd) ? SW_RESTORE : SW_SHOW);
}
