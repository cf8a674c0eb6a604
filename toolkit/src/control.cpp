// MObject and MControl: the tree, its dispatchers and repaint requests.
//
// Sections: MObject - construction and tree - public operations - drawing -
// dispatchers.
#include "tavri/control.h"

#include <algorithm>

#include "tavri/host.h"
#include "tavri/paint_manager.h"

// ---- MObject ---------------------------------------------------------------
MObject::~MObject() = default;

int MObject::IsClass(const wchar_t* name) {
    const wchar_t* mine = GetClassNameW();
    if (!mine || !name) return 0;
    return std::wstring_view(mine) == std::wstring_view(name) ? 1 : 0;
}

const wchar_t* MObject::GetClassNameW() { return nullptr; }
const wchar_t* MObject::GetObjectClass() { return nullptr; }
const wchar_t* MObject::BaseObjectClassName() { return nullptr; }
LRESULT MObject::OnBaseMessage(UINT, UINT, UINT, LPARAM) { return 0; }
LRESULT MObject::OnControlUpdate(CRect, int, MControl*) { return 0; }

UINT KeyModifierCode(bool shift, bool ctrl, bool alt) {
    UINT code = alt ? 18 : shift ? 16 : 0;
    if (ctrl) code |= 17;
    return code;
}

UINT CurrentKeyModifierCode() {
    return KeyModifierCode(GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_CONTROL) < 0, GetKeyState(VK_MENU) < 0);
}

// ---- construction and tree -------------------------------------------------
MControl::MControl(MObject* parent, UINT id, CRect rect, int visible, int enabled, int response)
    : m_parent(parent), m_id(id), m_rect(rect), m_visible(visible), m_enabled(enabled), m_response(response) {}

MControl::~MControl() {
    // Areas first, then controls, each destroying its own subtree.
    std::vector<MControl*> areas;
    std::vector<MControl*> controls;
    {
        std::lock_guard<std::recursive_mutex> lock(m_areasLock);
        areas.swap(m_areas);
    }
    for (MControl* a : areas) delete a;
    {
        std::lock_guard<std::recursive_mutex> lock(m_controlsLock);
        controls.swap(m_controls);
    }
    for (MControl* c : controls) delete c;
    if (m_manager) m_manager->OnControlDestroyed(this);
}

const wchar_t* MControl::GetClassNameW() { return L"FSControl"; }

void MControl::SetManager(PaintManager* manager) {
    m_manager = manager;
    for (MControl* c : GetAreas()) c->SetManager(manager);
    for (MControl* c : GetControls()) c->SetManager(manager);
}

void MControl::AddControl(MControl* control) {
    if (!control) return;
    std::lock_guard<std::recursive_mutex> lock(m_controlsLock);
    m_controls.push_back(control);
}

void MControl::AddArea(MControl* area) {
    if (!area) return;
    std::lock_guard<std::recursive_mutex> lock(m_areasLock);
    m_areas.push_back(area);
}

std::vector<MControl*> MControl::GetControls() const {
    std::lock_guard<std::recursive_mutex> lock(m_controlsLock);
    return m_controls;
}

std::vector<MControl*> MControl::GetAreas() const {
    std::lock_guard<std::recursive_mutex> lock(m_areasLock);
    return m_areas;
}

bool MControl::DetachChild(MControl* child) {
    bool found = false;
    {
        std::lock_guard<std::recursive_mutex> lock(m_controlsLock);
        auto it = std::find(m_controls.begin(), m_controls.end(), child);
        if (it != m_controls.end()) {
            m_controls.erase(it);
            found = true;
        }
    }
    if (!found) {
        std::lock_guard<std::recursive_mutex> lock(m_areasLock);
        auto it = std::find(m_areas.begin(), m_areas.end(), child);
        if (it != m_areas.end()) {
            m_areas.erase(it);
            found = true;
        }
    }
    if (!found) return false;
    if (m_hotChild == child) m_hotChild = nullptr;
    if (m_manager) m_manager->ForgetSubtree(child);
    return true;
}

void MControl::CollectSubtree(std::vector<MControl*>& out) {
    out.push_back(this);
    for (MControl* c : GetAreas()) c->CollectSubtree(out);
    for (MControl* c : GetControls()) c->CollectSubtree(out);
}

void MControl::ForgetDescendants(const std::vector<MControl*>& gone) {
    if (m_hotChild && std::find(gone.begin(), gone.end(), m_hotChild) != gone.end()) m_hotChild = nullptr;
    for (MControl* c : GetAreas()) c->ForgetDescendants(gone);
    for (MControl* c : GetControls()) c->ForgetDescendants(gone);
}

// ---- virtual defaults ------------------------------------------------------
void MControl::InitControl(PaintManager*) {}
int MControl::PtInRect(CPoint pt) { return m_visible && m_rect.PtInRect(pt) ? 1 : 0; }

int MControl::DrawSubControls(HDC& hdc, CRect clip) {
    std::lock_guard<std::recursive_mutex> lock(m_controlsLock);
    for (std::size_t i = 0; i < m_controls.size(); ++i) {
        MControl* c = m_controls[i];
        if (c->IsVisible()) c->Draw(hdc, clip);
    }
    return 1;
}

int MControl::IsDraw(CPoint) { return 0; }

void MControl::SetUpdate(int update, COLORREF background) {
    m_update = update;
    for (MControl* c : GetAreas())
        if (c->GetRect().Intersects(m_rect)) c->SetUpdate(update, background);
    for (MControl* c : GetControls())
        if (c->GetRect().Intersects(m_rect)) c->SetUpdate(update, background);
}

int MControl::SetControlFocus(int focus) {
    m_focused = focus;
    if (!focus)
        for (MControl* c : GetControls()) c->SetControlFocus(0);
    return 0;
}

void MControl::InitUI(CRect) {}
int MControl::OnMousePointChange(CPoint&) { return 0; }
int MControl::OnCheckMouseResponse(UINT, CPoint) { return 1; }
LRESULT MControl::OnWindowMessage(UINT, WPARAM, LPARAM) { return 0; }
LRESULT MControl::OnMessage(UINT, UINT, UINT, LPARAM) { return 0; }
void MControl::SetControlRect(CRect rect) { m_rect = rect; }
void MControl::SetControlVisible(int visible) { m_visible = visible; }
void MControl::SetControlWndVisible(int) {}
void MControl::SetControlEnabled(int enabled) { m_enabled = enabled; }
int MControl::OnControlTimer() { return 0; }
HBITMAP MControl::GetControlDropBitmap() { return nullptr; }
int MControl::OnControlMouseMove(UINT, CPoint) { return 0; }

int MControl::OnControlSetCursor(UINT, CPoint pt) {
    if (!m_cursor || !m_rect.PtInRect(pt)) return 0;
    ::SetCursor(m_cursor);
    return 1;
}

int MControl::OnControlLButtonDown(UINT, CPoint) { return 0; }
int MControl::OnControlLButtonUp(UINT, CPoint) { return 0; }
int MControl::OnControlLButtonDblClk(UINT, CPoint) { return 0; }
int MControl::OnControlScroll(int, UINT, CPoint) { return 0; }
int MControl::OnControlRButtonDown(UINT, CPoint) { return 0; }
int MControl::OnControlRButtonUp(UINT, CPoint) { return 0; }
int MControl::OnControlRButtonDblClk(UINT, CPoint) { return 0; }

int MControl::OnControlKeyDown(UINT key, UINT, UINT modifier) {
    return m_hotKey != 0 && static_cast<UINT>(m_hotKey) == key && static_cast<UINT>(m_hotKeyModifier) == modifier
               ? 1
               : 0;
}

void MControl::OnPositionChange() {}

void MControl::InvalidateRect(const RECT* rect, int erase) {
    if (m_manager) m_manager->InvalidateRect(rect ? *rect : m_rect, erase);
}

// ---- public operations -----------------------------------------------------
void MControl::SetRect(CRect rect) {
    const CRect old = m_rect;
    SetControlRect(rect);
    if (m_visible && m_parent) {
        CRect u;
        u.UnionRect(old, m_rect);
        m_parent->OnControlUpdate(u, 1, this);
    }
}

void MControl::SetRect(int x, int y, int cx, int cy) { SetRect(CRect(x, y, x + cx, y + cy)); }

void MControl::SetVisible(int visible) { SetVisible(visible, 1); }

void MControl::SetVisible(int visible, int repaint) {
    if ((visible != 0) == (m_visible != 0)) return;
    SetControlVisible(visible);
    // Also when hiding: the area the control covered must be drawn again.
    if (repaint && m_parent) m_parent->OnControlUpdate(m_rect, 1, this);
}

void MControl::SetEnabled(int enabled) {
    if ((enabled != 0) == (m_enabled != 0)) return;
    SetControlEnabled(enabled);
    if (m_visible && m_parent) m_parent->OnControlUpdate(m_rect, 1, this);
}

void MControl::UpdateControl(int redraw, int force) {
    if ((m_visible || force) && m_parent) m_parent->OnControlUpdate(m_rect, redraw, this);
}

void MControl::UpdateControl(CRect rect, int force, int redraw) {
    if ((m_visible || force) && m_parent) m_parent->OnControlUpdate(rect, redraw, this);
}

void MControl::UpdateAControl(int full, int force) {
    if (!(m_visible || force) || !m_parent) return;
    m_animateDirty = full ? 0 : 1;
    m_parent->OnControlUpdate(m_rect, 0, this);
}

LRESULT MControl::SendMessageW(UINT msg, WPARAM wParam, LPARAM lParam) {
    return m_parent ? m_parent->OnBaseMessage(m_id, msg, static_cast<UINT>(wParam), lParam) : 0;
}

void MControl::SetTooltip(const wchar_t* text) { m_tooltip = text ? text : L""; }

void MControl::ClearTooltip() {
    if (m_manager) m_manager->ClearTooltip();
}

int MControl::SetCursorEx(const wchar_t* name) {
    static const struct {
        const wchar_t* name;
        UINT id;
    } kCursors[] = {{L"arrow", IDC_ARROW}, {L"wait", IDC_WAIT},     {L"cross", IDC_CROSS}, {L"sizewe", IDC_SIZEWE},
                    {L"sizens", IDC_SIZENS}, {L"hand", IDC_HAND}, {L"help", IDC_HELP}};
    if (!name) return 0;
    for (const auto& c : kCursors) {
        if (std::wstring_view(name) == c.name) {
            m_cursor = LoadCursorW(nullptr, c.id);
            return 1;
        }
    }
    return 0;
}

int MControl::AddMTimer() {
    if (!m_manager) return 0;
    m_manager->AddMTimer(this);
    return 1;
}

int MControl::SetTimer(UINT key, UINT elapseMs) { return m_manager ? m_manager->SetTimer(this, key, elapseMs) : 0; }
int MControl::KillTimer(UINT key) { return m_manager ? m_manager->KillTimer(this, key) : 0; }

MControl* MControl::GetControl(UINT id) {
    for (MControl* c : GetControls()) {
        if (c->GetControlID() == id) return c;
        if (MControl* found = c->GetControl(id)) return found;
    }
    for (MControl* c : GetAreas()) {
        if (c->GetControlID() == id) return c;
        if (MControl* found = c->GetControl(id)) return found;
    }
    return nullptr;
}

void MControl::RemoveControl(MControl* control) {
    if (!control) return;
    if (m_manager && m_manager->GetFocusControl() == control) m_manager->SetFocusControl(nullptr);
    if (!DetachChild(control)) return;
    if (m_manager) m_manager->DisposeControl(control);
    else delete control;
}

void MControl::RemoveAllControl() {
    for (MControl* c : GetAreas()) RemoveControl(c);
    for (MControl* c : GetControls()) RemoveControl(c);
}

int MControl::IsParentVisible() {
    MObject* p = m_parent;
    while (p) {
        if (p->IsClass(L"MDialog")) return 1;
        auto* c = dynamic_cast<MControl*>(p);
        if (!c || !c->IsVisible()) return 0;
        p = c->GetParantObject();
    }
    return 0;
}

int MControl::IsFocusControl() { return m_manager && m_manager->GetFocusControl() == this ? 1 : 0; }
MControl* MControl::GetNextFocusableControl() { return m_manager ? m_manager->GetNextFocusableControl() : nullptr; }
MControl* MControl::GetPrevFocusableControl() { return m_manager ? m_manager->GetPrevFocusableControl() : nullptr; }
MControl* MControl::GetFocusControl() { return m_manager ? m_manager->GetFocusControl() : nullptr; }

// ---- drawing ---------------------------------------------------------------
void MControl::Draw(HDC& hdc, CRect clip) {
    if (!m_visible) return;
    CRect visible;
    if (!visible.IntersectRect(m_rect, clip)) return;
    {
        std::lock_guard<std::recursive_mutex> lock(m_areasLock);
        for (std::size_t i = 0; i < m_areas.size(); ++i) {
            MControl* a = m_areas[i];
            if (a->GetRect().Intersects(m_rect)) a->Draw(hdc, clip);
        }
    }
    DrawControl(hdc, clip);
    DrawSubControls(hdc, clip);
}

void MControl::UpdateMemDC(HDC&, int cx, int cy) {
    m_update = 1;
    if (m_memBitmap.IsNull() || m_memSize != CSize(cx, cy)) {
        m_memBitmap = Image(cx, cy);
        m_memSize = CSize(cx, cy);
    }
}

void MControl::UpdateAnimateDC(HDC&, int cx, int cy) {
    m_animateDirty = 1;
    m_animBitmap = Image(cx, cy);
    m_animSize = CSize(cx, cy);
}

void MControl::CopyWindowToMem(HDC& hdc) {
    if (!hdc || m_memBitmap.IsNull()) return;
    const CPoint o = hdc->DeviceOffset();
    Graphics g(m_memBitmap);
    g.CopyImage(hdc->Target(), 0, 0,
                CRect(m_rect.left + o.x, m_rect.top + o.y, m_rect.left + o.x + m_memSize.cx,
                      m_rect.top + o.y + m_memSize.cy));
}

void MControl::DrawMemToWindow(HDC& hdc) {
    if (!hdc || m_memBitmap.IsNull()) return;
    hdc->DrawImage(m_memBitmap, m_rect.left, m_rect.top);
}

// ---- dispatchers -----------------------------------------------------------
CPoint MControl::ChildPoint(const MControl* child, CPoint raw, CPoint translated) {
    return child->m_id == 1 || child->m_id == 2 ? raw : translated;
}

int MControl::OnMouseMove(UINT flags, CPoint pt) {
    if (!m_visible || !m_response) return 0;
    CPoint inner = pt;
    OnMousePointChange(inner);
    if (m_hotChild) {
        const CPoint cp = ChildPoint(m_hotChild, pt, inner);
        if ((m_hotChild->PtInRect(cp) && m_hotChild->OnCheckMouseResponse(flags, cp)) || m_pressedInside)
            return m_hotChild->OnMouseMove(flags, cp);
    }
    const bool hadHot = m_hotChild != nullptr;
    m_hotChild = nullptr;
    const bool inside = PtInRect(pt) && OnCheckMouseResponse(flags, pt);
    if (!m_tooltip.empty() && inside && m_manager && m_manager->GetTooltipOwner() != m_id) {
        m_manager->SetTooltip(m_tooltip, m_rect);
        m_manager->SetTooltipOwner(m_id);
    }
    OnControlSetCursor(flags, pt);
    int result = OnControlMouseMove(flags, pt);
    if (m_trackLeave) m_mouseOutside = inside ? 0 : 1;
    if (!m_pressedInside) {
        std::lock_guard<std::recursive_mutex> lock(m_controlsLock);
        for (std::size_t i = 0; i < m_controls.size(); ++i) {
            MControl* c = m_controls[i];
            const CPoint cp = ChildPoint(c, pt, inner);
            if (c->OnMouseMove(flags, cp) && c->PtInRect(cp)) m_hotChild = c;
        }
    }
    return m_hotChild || hadHot ? 1 : result;
}

int MControl::ButtonDown(bool left, UINT flags, CPoint pt) {
    if (!m_visible || !m_response) return 0;
    CPoint inner = pt;
    OnMousePointChange(inner);
    m_pressedInside = m_rect.PtInRect(pt) ? 1 : 0;
    MControl* target = nullptr;
    {
        std::lock_guard<std::recursive_mutex> lock(m_controlsLock);
        for (MControl* c : m_controls) {
            const CPoint cp = ChildPoint(c, pt, inner);
            if (c->IsVisible() && c->IsEnabled() && c->GetRresponse() && c->PtInRect(cp)) target = c;
        }
    }
    if (target) {
        m_hotChild = target;
        const CPoint cp = ChildPoint(target, pt, inner);
        return left ? target->OnLButtonDown(flags, cp) : target->OnRButtonDown(flags, cp);
    }
    // The release goes where the press went: a hovered child that could not
    // take the press (disabled) must not see the release as a click.
    m_hotChild = nullptr;
    if (m_manager) m_manager->SetFocusControl(this);
    return left ? OnControlLButtonDown(flags, pt) : OnControlRButtonDown(flags, pt);
}

int MControl::ButtonUp(bool left, UINT flags, CPoint pt) {
    if (!m_visible || !m_response) return 0;
    CPoint inner = pt;
    OnMousePointChange(inner);
    m_pressedInside = 0;
    if (MControl* hot = m_hotChild) {
        const CPoint cp = ChildPoint(hot, pt, inner);
        return left ? hot->OnLButtonUp(flags, cp) : hot->OnRButtonUp(flags, cp);
    }
    return left ? OnControlLButtonUp(flags, pt) : OnControlRButtonUp(flags, pt);
}

int MControl::ButtonDblClk(bool left, UINT flags, CPoint pt) {
    if (!m_visible || !m_response) return 0;
    CPoint inner = pt;
    OnMousePointChange(inner);
    if (MControl* hot = m_hotChild) {
        const CPoint cp = ChildPoint(hot, pt, inner);
        // A child that does not tell double clicks apart sees a second press.
        if (!hot->GetDblClk()) return left ? hot->OnLButtonDown(flags, cp) : hot->OnRButtonDown(flags, cp);
        return left ? hot->OnLButtonDblClk(flags, cp) : hot->OnRButtonDblClk(flags, cp);
    }
    if (!m_dblClk) return ButtonDown(left, flags, pt);
    if (left && m_notifyDblClk && m_rect.PtInRect(pt)) {
        CPoint where = pt;
        SendMessageW(3, flags, reinterpret_cast<LPARAM>(&where));
    }
    return left ? OnControlLButtonDblClk(flags, pt) : OnControlRButtonDblClk(flags, pt);
}

int MControl::OnLButtonDown(UINT flags, CPoint pt) { return ButtonDown(true, flags, pt); }
int MControl::OnLButtonUp(UINT flags, CPoint pt) { return ButtonUp(true, flags, pt); }
int MControl::OnLButtonDblClk(UINT flags, CPoint pt) { return ButtonDblClk(true, flags, pt); }
int MControl::OnRButtonDown(UINT flags, CPoint pt) { return ButtonDown(false, flags, pt); }
int MControl::OnRButtonUp(UINT flags, CPoint pt) { return ButtonUp(false, flags, pt); }
int MControl::OnRButtonDblClk(UINT flags, CPoint pt) { return ButtonDblClk(false, flags, pt); }

int MControl::OnScroll(int kind, UINT direction, CPoint pt) {
    if (!m_visible || !m_response || !m_enabled) return 0;
    CPoint inner = pt;
    OnMousePointChange(inner);
    MControl* hot = m_hotChild;
    if (hot) {
        const CPoint cp = ChildPoint(hot, pt, inner);
        if (hot->PtInRect(cp) && hot->OnCheckMouseResponse(0, cp)) {
            if (const int r = hot->OnScroll(kind, direction, cp)) return r;
        }
    }
    if (PtInRect(pt)) {
        if (const int r = OnControlScroll(kind, direction, pt)) return r;
    }
    std::lock_guard<std::recursive_mutex> lock(m_controlsLock);
    for (std::size_t i = 0; i < m_controls.size(); ++i) {
        MControl* c = m_controls[i];
        if (c == hot) continue;
        const CPoint cp = ChildPoint(c, pt, inner);
        if (c->PtInRect(cp)) {
            if (const int r = c->OnScroll(kind, direction, cp)) return r;
        }
    }
    return 0;
}

int MControl::OnKeyDown(UINT key, UINT repeat, UINT modifier) {
    if (!m_visible || !m_response) return 0;
    MControl* focused = nullptr;
    {
        std::lock_guard<std::recursive_mutex> lock(m_controlsLock);
        for (MControl* c : m_controls) {
            if (c->IsFocused() && c->IsVisible()) {
                focused = c;
                break;
            }
        }
    }
    // Down the chain of focused children; the end of the chain decides.
    if (focused) return focused->OnKeyDown(key, repeat, modifier);
    MControl* hot = m_hotChild;
    if (hot && hot->OnKeyDown(key, repeat, modifier)) return 1;
    int handled = OnControlKeyDown(key, repeat, modifier) ? 1 : 0;
    if (!handled) {
        std::lock_guard<std::recursive_mutex> lock(m_controlsLock);
        for (std::size_t i = 0; i < m_controls.size(); ++i) {
            MControl* c = m_controls[i];
            if (c != hot && c->OnKeyDown(key, repeat, modifier)) {
                handled = 1;
                break;
            }
        }
    }
    if (handled && m_notifyKey) SendMessageW(14, key, modifier);
    return handled;
}

int MControl::OnKeyUp(UINT key, UINT repeat, UINT modifier) {
    if (!m_visible || !m_response) return 0;
    for (MControl* c : GetControls())
        if (c->IsFocused() && c->IsVisible()) return c->OnKeyUp(key, repeat, modifier);
    return 0;
}

int MControl::OnTimer() {
    int result = OnControlTimer() ? 1 : 0;
    {
        std::lock_guard<std::recursive_mutex> lock(m_areasLock);
        for (std::size_t i = 0; i < m_areas.size(); ++i) {
            MControl* a = m_areas[i];
            if (a->IsRunTimer() && a->IsVisible() && a->OnTimer()) result = 1;
        }
    }
    std::lock_guard<std::recursive_mutex> lock(m_controlsLock);
    for (std::size_t i = 0; i < m_controls.size(); ++i) {
        MControl* c = m_controls[i];
        if (c->IsRunTimer() && c->IsVisible() && c->OnTimer()) result = 1;
    }
    return result;
}
