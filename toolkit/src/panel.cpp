// MPanel (scrolling container) and its scroll bars.
#include "tavri/panel.h"

#include <algorithm>

#include "tavri/factory.h"
#include "tavri/paint_manager.h"

namespace {
constexpr UINT kVScrollId = 1;
constexpr UINT kHScrollId = 2;
constexpr int kDefaultBarWidth = 8;
}  // namespace

// ---- MPanel ----------------------------------------------------------------
MPanel::MPanel(MObject* parent, UINT id, CRect rect, int visible) : MControlFont(parent, id, rect, L"", visible, 1, 1) {}

MPanel::~MPanel() = default;

MControl* MPanel::CreateArea(const wchar_t* className, UINT id, CRect rect, const wchar_t* text, int visible,
                             int enabled) {
    return CreateControl(0, this, className, id, rect, text, visible, enabled);
}

MControl* MPanel::CreateControl(UINT kind, MObject* parent, const wchar_t* className, UINT id, CRect rect,
                                const wchar_t* text, int visible, int enabled) {
    ControlCreator creator = FindControlClass(className, kFactoryPanel);
    if (!creator) return nullptr;
    MControl* control = creator(parent, id, rect, text ? text : L"", visible, enabled);
    if (!control) return nullptr;
    if (m_manager) control->SetManager(m_manager);
    control->InitControl(m_manager);
    if (kind == 1) AddControl(control);
    else if (kind == 0) AddArea(control);
    return control;
}

MControl* MPanel::CreateControl(const wchar_t* className, UINT id, CRect rect, const wchar_t* text, int visible,
                                int enabled) {
    return CreateControl(1, this, className, id, rect, text, visible, enabled);
}

LRESULT MPanel::OnBaseMessage(UINT controlId, UINT message, UINT wParam, LPARAM lParam) {
    // The panel's own bars move its content.
    if (message == 8 && controlId == kVScrollId && m_vScroll) {
        SetScrollOffset(m_scrollX, static_cast<int>(wParam));
        return 1;
    }
    if (message == 8 && controlId == kHScrollId && m_hScroll) {
        SetScrollOffset(static_cast<int>(wParam), m_scrollY);
        return 1;
    }
    return m_parent ? m_parent->OnBaseMessage(controlId, message, wParam, lParam) : 0;
}

LRESULT MPanel::OnControlUpdate(CRect rect, int redraw, MControl* control) {
    CRect u = rect;
    if (redraw && control) control->SetUpdate(0, 0);
    std::vector<MControl*> seq = GetAreas();
    const std::vector<MControl*> controls = GetControls();
    seq.insert(seq.end(), controls.begin(), controls.end());
    auto it = std::find(seq.begin(), seq.end(), control);
    if (it != seq.end()) {
        // Later siblings over the rect are drawn again in full.
        for (++it; it != seq.end(); ++it) {
            MControl* s = *it;
            if (s == m_vScroll || s == m_hScroll || !s->IsVisible() || !s->GetRect().Intersects(u)) continue;
            s->SetUpdate(0, 0);
            u.UnionRect(u, s->GetRect());
        }
    }
    const bool bar = control && (control == m_vScroll || control == m_hScroll);
    if (!bar) u.OffsetRect(-m_scrollX, -m_scrollY);
    // Only what shows through the panel needs painting.
    if (!u.IntersectRect(u, m_rect)) return 1;
    if (m_parent) m_parent->OnControlUpdate(u, 0, this);
    return 1;
}

int MPanel::OnMousePointChange(CPoint& pt) {
    pt.x += m_scrollX;
    pt.y += m_scrollY;
    return 1;
}

void MPanel::DrawControl(HDC&, CRect) {}

int MPanel::DrawSubControls(HDC& hdc, CRect clip) {
    CRect visible;
    if (!visible.IntersectRect(clip, m_rect)) return 1;
    Graphics& g = *hdc;
    CRect content;
    if (content.IntersectRect(visible, GetViewRect())) {
        g.Save();
        g.IntersectClip(content);
        g.TranslateTransform(-m_scrollX, -m_scrollY);
        CRect contentClip = content;
        contentClip.OffsetRect(m_scrollX, m_scrollY);
        {
            std::lock_guard<std::recursive_mutex> lock(m_controlsLock);
            for (std::size_t i = 0; i < m_controls.size(); ++i) {
                MControl* c = m_controls[i];
                if (c == m_vScroll || c == m_hScroll || !c->IsVisible()) continue;
                c->Draw(hdc, contentClip);
            }
        }
        g.Restore();
    }
    if (m_vScroll && m_vScroll->IsVisible()) m_vScroll->Draw(hdc, visible);
    if (m_hScroll && m_hScroll->IsVisible()) m_hScroll->Draw(hdc, visible);
    return 1;
}

int MPanel::OnControlScroll(int, UINT direction, CPoint) {
    if (!m_vScroll || m_vScroll->GetScrollRange() <= 0) return 0;
    const int step = m_vScroll->GetStep() * 10;
    SetScrollOffset(m_scrollX, m_scrollY + (direction ? step : -step));
    return 1;
}

void MPanel::SetControlRect(CRect rect) {
    MControlFont::SetControlRect(rect);
    LayoutScrollBars();
}

void MPanel::InitScrollBar() {
    if (m_vScroll) return;
    m_vScroll = new CScrollVertical(this, kVScrollId, CRect(), 0);
    m_hScroll = new CScrollHorizontal(this, kHScrollId, CRect(), 0);
    for (MScroll* bar : {m_vScroll, m_hScroll}) {
        if (m_manager) bar->SetManager(m_manager);
        bar->InitControl(m_manager);
        AddControl(bar);
    }
    LayoutScrollBars();
}

void MPanel::LayoutScrollBars() {
    if (!m_vScroll) return;
    const int vw = m_vScroll->GetImageFrameWidth() > 0 ? m_vScroll->GetImageFrameWidth() : kDefaultBarWidth;
    const int hh = m_hScroll->GetImageSize().cy > 0 ? m_hScroll->GetImageSize().cy : kDefaultBarWidth;
    const bool showV = m_contentSize.cy > m_rect.Height();
    const bool showH = m_contentSize.cx > m_rect.Width() - (showV ? vw : 0);
    const int viewW = m_rect.Width() - (showV ? vw : 0);
    const int viewH = m_rect.Height() - (showH ? hh : 0);
    m_vScroll->SetControlRect(CRect(m_rect.right - vw, m_rect.top, m_rect.right, m_rect.bottom - (showH ? hh : 0)));
    m_hScroll->SetControlRect(CRect(m_rect.left, m_rect.bottom - hh, m_rect.right - (showV ? vw : 0), m_rect.bottom));
    m_vScroll->SetScrollRange(std::max(0, m_contentSize.cy - viewH), viewH);
    m_hScroll->SetScrollRange(std::max(0, m_contentSize.cx - viewW), viewW);
    m_vScroll->SetControlVisible(showV);
    m_hScroll->SetControlVisible(showH);
    m_scrollX = std::clamp(m_scrollX, 0, m_hScroll->GetScrollRange());
    m_scrollY = std::clamp(m_scrollY, 0, m_vScroll->GetScrollRange());
    m_vScroll->SetScrollPos(m_scrollY);
    m_hScroll->SetScrollPos(m_scrollX);
}

void MPanel::SetContentSize(int width, int height) {
    m_contentSize = CSize(width, height);
    LayoutScrollBars();
    UpdateControl();
}

void MPanel::SetScrollOffset(int x, int y) {
    const int maxX = m_hScroll ? m_hScroll->GetScrollRange() : 0;
    const int maxY = m_vScroll ? m_vScroll->GetScrollRange() : 0;
    x = std::clamp(x, 0, maxX);
    y = std::clamp(y, 0, maxY);
    if (x == m_scrollX && y == m_scrollY) return;
    m_scrollX = x;
    m_scrollY = y;
    if (m_vScroll) m_vScroll->SetScrollPos(y);
    if (m_hScroll) m_hScroll->SetScrollPos(x);
    // The content moved: every cached child drawing is out of date.
    UpdateControl(1, 0);
}

CRect MPanel::GetViewRect() const {
    CRect r = m_rect;
    if (m_vScroll && m_vScroll->IsVisible()) r.right = m_vScroll->GetRect().left;
    if (m_hScroll && m_hScroll->IsVisible()) r.bottom = m_hScroll->GetRect().top;
    return r;
}

void MPanel::SetScrollStep(int step) {
    if (m_vScroll) m_vScroll->SetStep(step);
    if (m_hScroll) m_hScroll->SetStep(step);
}

// ---- MScroll ---------------------------------------------------------------
MScroll::MScroll(MObject* parent, UINT id, CRect rect, int visible, bool vertical)
    : MControlFont(parent, id, rect, L"", visible, 1, 1), m_vertical(vertical) {}

MScroll::~MScroll() = default;

CScrollVertical::CScrollVertical(MObject* parent, UINT id, CRect rect, int visible)
    : MScroll(parent, id, rect, visible, true) {}

CScrollHorizontal::CScrollHorizontal(MObject* parent, UINT id, CRect rect, int visible)
    : MScroll(parent, id, rect, visible, false) {}

void MScroll::InitControl(PaintManager* manager) {
    if (!manager) return;
    // The library's own bar images: track, thumb, hot thumb side by side.
    const UINT res = m_vertical ? manager->GetScrollResIDV() : manager->GetScrollResIDH();
    if (ImgResInfo* info = manager->AddImgResInfo(res, L"PNG", 3, 0)) {
        m_art = info;
        m_image = info->image.get();
        m_imageInfo = info;
        m_imageWidth = m_image->Width();
        m_imageHeight = info->height;
        m_imageCount = 3;
    }
}

void MScroll::SetScrollRange(int range, int page) {
    m_range = std::max(range, 0);
    m_page = std::max(page, 0);
    m_pos = std::clamp(m_pos, 0, m_range);
}

int MScroll::SetScrollPos(int pos, int notify) {
    pos = std::clamp(pos, 0, m_range);
    if (pos == m_pos) return 0;
    m_pos = pos;
    if (m_visible) UpdateControl();
    if (notify) SendMessageW(8, static_cast<WPARAM>(m_pos), 0);
    return 1;
}

CRect MScroll::GetThumbRect() const {
    const int track = m_vertical ? m_rect.Height() : m_rect.Width();
    if (track <= 0) return CRect();
    int thumb = m_range + m_page > 0 ? static_cast<int>(static_cast<long long>(track) * m_page / (m_range + m_page)) : track;
    thumb = std::clamp(thumb, std::min(12, track), track);
    const int offset = m_range > 0 ? static_cast<int>(static_cast<long long>(track - thumb) * m_pos / m_range) : 0;
    if (m_vertical) return CRect(m_rect.left, m_rect.top + offset, m_rect.right, m_rect.top + offset + thumb);
    return CRect(m_rect.left + offset, m_rect.top, m_rect.left + offset + thumb, m_rect.bottom);
}

void MScroll::DrawControl(HDC& hdc, CRect) {
    Graphics& g = *hdc;
    const CRect thumb = GetThumbRect();
    if (m_art) {
        MRender::DrawImageFrame(g, m_art, m_rect, 0, 3);
        MRender::DrawImageFrame(g, m_art, thumb, m_hot || m_dragging ? 2 : 1, 3);
    } else {
        g.FillRect(m_rect, 0x40FFFFFF);
        g.FillRect(thumb, m_hot || m_dragging ? 0xE0FFFFFF : 0xA0FFFFFF);
    }
}

int MScroll::OnControlMouseMove(UINT, CPoint pt) {
    if (m_dragging) {
        const int track = m_vertical ? m_rect.Height() : m_rect.Width();
        const CRect thumb = GetThumbRect();
        const int thumbLen = m_vertical ? thumb.Height() : thumb.Width();
        const int free = track - thumbLen;
        const int at = (m_vertical ? pt.y - m_rect.top : pt.x - m_rect.left) - m_dragOffset;
        if (free > 0) SetScrollPos(static_cast<int>(static_cast<long long>(at) * m_range / free), 1);
        return 1;
    }
    const int hot = GetThumbRect().PtInRect(pt) ? 1 : 0;
    if (hot != m_hot) {
        m_hot = hot;
        UpdateControl();
    }
    return m_rect.PtInRect(pt) ? 1 : 0;
}

int MScroll::OnControlLButtonDown(UINT, CPoint pt) {
    if (!m_rect.PtInRect(pt) || m_range <= 0) return 0;
    const CRect thumb = GetThumbRect();
    if (thumb.PtInRect(pt)) {
        m_dragging = 1;
        m_dragOffset = m_vertical ? pt.y - thumb.top : pt.x - thumb.left;
        UpdateControl();
        return 1;
    }
    // A press on the track moves one page towards the press.
    const bool before = m_vertical ? pt.y < thumb.top : pt.x < thumb.left;
    SetScrollPos(m_pos + (before ? -m_page : m_page), 1);
    return 1;
}

int MScroll::OnControlLButtonUp(UINT, CPoint) {
    if (!m_dragging) return 0;
    m_dragging = 0;
    UpdateControl();
    return 1;
}

int MScroll::OnControlScroll(int, UINT direction, CPoint) {
    if (m_range <= 0) return 0;
    SetScrollPos(m_pos + (direction ? 10 * m_step : -10 * m_step), 1);
    return 1;
}
