// PaintManager: the window's side of the control tree.
//
// Sections: binding and background - images and fonts - window timers -
// high-resolution tick - the tree - repaint requests - overlay - dispatch -
// painting - input routing - destruction.
#include "tavri/paint_manager.h"

#include <algorithm>
#include <cstdlib>

#include "host_bridge.h"
#include "platform/paths.h"
#include "tavri/factory.h"
#include "tavri/host.h"
#include "tavri/manager.h"
#include "tavri/resource.h"
#include "tavri/window.h"
#include "tooltip.h"

namespace {

bool Contains(const std::vector<MControl*>& v, const MControl* c) { return std::find(v.begin(), v.end(), c) != v.end(); }

bool IsMouseMessage(UINT msg) { return msg >= WM_MOUSEMOVE && msg <= WM_MBUTTONDBLCLK; }

}  // namespace

PaintManager::PaintManager() : m_fontName(Manager::GetFontName()) {}

PaintManager::~PaintManager() {
    DestroyData();
    FlushGraveyard();
}

CString PaintManager::GetSkinFolder() {
    return CString::FromUtf8(platform::ProgramFolder()) + L"skins\\" + Manager::GetTheme();
}

// ---- binding and background ------------------------------------------------
void PaintManager::Init(HWND hwnd, MWindow* window) {
    m_hWnd = hwnd;
    m_window = window;
    if (!m_root) m_root = dynamic_cast<MObject*>(window);
    const CString arial = CString::FromUtf8(platform::ProgramFolder()) + L"font\\Arial.ttf";
    if (platform::FileExists(platform::NativePath(arial))) AddTempFont(L"Arial", arial.c_str());
    m_initialized = 1;
    m_scrollResH = kResScrollHorizontal;
    m_scrollResV = kResScrollVertical;
    AddGDITempFont(kResToolkitFont);
}

MDialog* PaintManager::GetMDialog() const { return dynamic_cast<MDialog*>(m_window); }

void PaintManager::SetBackColor(COLORREF body, COLORREF border) {
    m_bodyColor = body;
    m_borderColor = border;
    if (m_hWnd) Invalidate();
}

int PaintManager::LoadBKImage(const CString& file) {
    m_bkImage = MRender::LoadImageFromFile(GetSkinFolder() + file);
    m_bkWidth = m_bkImage ? m_bkImage->Width() : 0;
    m_bkHeight = m_bkImage ? m_bkImage->Height() : 0;
    if (m_hWnd) Invalidate();
    return m_bkImage ? 1 : 0;
}

int PaintManager::LoadBKImage(UINT resourceId, const CString& type) {
    m_bkImage = MRender::LoadImageFromIDResource(resourceId, type, Manager::GetInstance());
    m_bkWidth = m_bkImage ? m_bkImage->Width() : 0;
    m_bkHeight = m_bkImage ? m_bkImage->Height() : 0;
    if (m_hWnd) Invalidate();
    return m_bkImage ? 1 : 0;
}

void PaintManager::SetBackMode(enumBackMode mode, int corner) {
    m_backMode = mode;
    m_corner = corner;
}

void PaintManager::SetLayeredWindow(int layered) { m_layered = layered; }

// ---- images and fonts ------------------------------------------------------
ImgResInfo* PaintManager::AddImgResInfo(const wchar_t* file, int frames) {
    if (!file || !*file) return nullptr;
    std::lock_guard<std::mutex> lock(m_imageLock);
    const CString key(file);
    auto it = m_imagesByFile.find(key);
    // The first load decides the frame count for every later request.
    if (it != m_imagesByFile.end()) return it->second.get();
    auto image = MRender::LoadImageFromFile(GetSkinFolder() + key);
    if (!image) return nullptr;
    auto info = std::make_unique<ImgResInfo>();
    info->frames = std::max(frames, 1);
    info->frameWidth = image->Width() / info->frames;
    info->height = image->Height();
    info->fileName = key;
    info->image = std::move(image);
    ImgResInfo* out = info.get();
    m_imagesByFile[key] = std::move(info);
    return out;
}

ImgResInfo* PaintManager::AddImgResInfo(UINT resourceId, const CString& type, int frames, int fromApplication) {
    std::lock_guard<std::mutex> lock(m_imageLock);
    auto& cache = fromApplication ? m_imagesByAppRes : m_imagesByLibRes;
    auto it = cache.find(resourceId);
    if (it != cache.end()) return it->second.get();
    auto image = MRender::LoadImageFromIDResource(resourceId, type,
                                                  fromApplication ? Manager::GetInstance() : TavriModule());
    if (!image) return nullptr;
    auto info = std::make_unique<ImgResInfo>();
    info->frames = std::max(frames, 1);
    info->frameWidth = image->Width() / info->frames;
    info->height = image->Height();
    info->resourceId = resourceId;
    info->image = std::move(image);
    ImgResInfo* out = info.get();
    cache[resourceId] = std::move(info);
    return out;
}

void PaintManager::ClearImgResInfo() {
    std::lock_guard<std::mutex> lock(m_imageLock);
    m_imagesByFile.clear();
    m_imagesByAppRes.clear();
    m_imagesByLibRes.clear();
}

int PaintManager::ImageCacheSize() const {
    std::lock_guard<std::mutex> lock(m_imageLock);
    return static_cast<int>(m_imagesByFile.size() + m_imagesByAppRes.size() + m_imagesByLibRes.size());
}

FontFamily* PaintManager::AddTempFont(const wchar_t* name, const wchar_t* file) {
    if (!name || !file) return nullptr;
    auto family = tavri::host::AddFontFile(file);
    if (!family) return nullptr;
    family->name = name;
    std::lock_guard<std::mutex> lock(m_fontLock);
    auto& slot = m_fonts[CString(name)];
    slot = std::make_unique<FontFamily>(*family);
    return slot.get();
}

FontFamily* PaintManager::AddTempFont(const wchar_t* name, UINT resourceId) {
    if (!name) return nullptr;
    ResourceData data;
    if (!FindResourceData(TavriModule(), resourceId, L"ttf", &data)) return nullptr;
    auto family = tavri::host::AddFontData(data.data, data.size);
    if (!family) return nullptr;
    family->name = name;
    std::lock_guard<std::mutex> lock(m_fontLock);
    auto& slot = m_fonts[CString(name)];
    slot = std::make_unique<FontFamily>(*family);
    return slot.get();
}

int PaintManager::AddGDITempFont(UINT resourceId) {
    ResourceData data;
    if (!FindResourceData(TavriModule(), resourceId, L"ttf", &data)) return 0;
    return tavri::host::AddFontData(data.data, data.size) ? 1 : 0;
}

FontFamily* PaintManager::FindTempFont(const wchar_t*) {
    const CString name = Manager::GetFontName();
    std::lock_guard<std::mutex> lock(m_fontLock);
    auto it = m_fonts.find(name);
    if (it != m_fonts.end()) return it->second.get();
    auto family = tavri::host::FindInstalledFamily(name);
    if (!family) return nullptr;
    auto& slot = m_fonts[name];
    slot = std::make_unique<FontFamily>(*family);
    return slot.get();
}

FontFamily* PaintManager::GetPrivateFont(const CString& name) {
    std::lock_guard<std::mutex> lock(m_fontLock);
    auto it = m_fonts.find(name);
    return it == m_fonts.end() ? nullptr : it->second.get();
}

void PaintManager::ClearTempFont() {
    std::lock_guard<std::mutex> lock(m_fontLock);
    m_fonts.clear();
}

const FontFamily* PaintManager::ToolkitFontFamily() {
    static std::optional<FontFamily> family;
    static bool loaded = false;
    if (!loaded || !family) {
        ResourceData data;
        if (FindResourceData(TavriModule(), kResToolkitFont, L"ttf", &data)) {
            family = tavri::host::AddFontData(data.data, data.size);
            loaded = family.has_value();
        }
    }
    return family ? &*family : nullptr;
}

// ---- window timers ---------------------------------------------------------
int PaintManager::SetTimer(MControl* control, UINT key, UINT elapseMs) {
    if (!control || !m_hWnd) return 0;
    std::lock_guard<std::recursive_mutex> lock(m_timerLock);
    for (TimerEntry& e : m_timers) {
        if (e.control != control || e.key != key) continue;
        if (!e.stopped) return 0;
        if (!::SetTimer(m_hWnd, e.platformId, elapseMs, nullptr)) return 0;
        e.stopped = false;
        return 1;
    }
    // Ids run 17, 18, ... 239, 0, 1, ...; an id still held by an entry is
    // skipped, so two controls never share one platform timer.
    for (int tries = 0; tries < 240; ++tries) {
        m_nextTimerId = (m_nextTimerId + 1) % 240;
        const UINT id = m_nextTimerId;
        const bool used =
            std::any_of(m_timers.begin(), m_timers.end(), [id](const TimerEntry& e) { return e.platformId == id; });
        if (used) continue;
        if (!::SetTimer(m_hWnd, id, elapseMs, nullptr)) return 0;
        m_timers.push_back(TimerEntry{key, id, false, control});
        return 1;
    }
    return 0;
}

int PaintManager::KillTimer(MControl* control, UINT key) {
    std::lock_guard<std::recursive_mutex> lock(m_timerLock);
    for (TimerEntry& e : m_timers) {
        if (e.control != control || e.key != key || e.stopped) continue;
        if (::IsWindow(m_hWnd)) ::KillTimer(m_hWnd, e.platformId);
        e.stopped = true;
        return 1;
    }
    return 0;
}

void PaintManager::KillTimer(MControl* control) {
    std::lock_guard<std::recursive_mutex> lock(m_timerLock);
    for (TimerEntry& e : m_timers) {
        if (e.control != control || e.stopped) continue;
        if (::IsWindow(m_hWnd)) ::KillTimer(m_hWnd, e.platformId);
        e.stopped = true;
    }
}

void PaintManager::ClearTimers() {
    std::lock_guard<std::recursive_mutex> lock(m_timerLock);
    for (const TimerEntry& e : m_timers)
        if (!e.stopped && ::IsWindow(m_hWnd)) ::KillTimer(m_hWnd, e.platformId);
    m_timers.clear();
}

UINT PaintManager::GetTimerPlatformId(MControl* control, UINT key) const {
    std::lock_guard<std::recursive_mutex> lock(m_timerLock);
    for (const TimerEntry& e : m_timers)
        if (e.control == control && e.key == key) return e.platformId;
    return 0xFFFFFFFF;
}

// ---- high-resolution tick --------------------------------------------------
UINT PaintManager::SetMTimer(UINT periodMs) {
    // One tick per window: a new period replaces the running one.
    if (m_tickTimerId) RKTimer::KillTimer(m_tickTimerId);
    m_tickTimerId = RKTimer::SetTimer(periodMs);
    return m_tickTimerId;
}

void PaintManager::KillMTimer(UINT id) {
    RKTimer::KillTimer(id);
    if (id == m_tickTimerId) m_tickTimerId = 0;
}

void PaintManager::KillMTimer() {
    RKTimer::KillTimer();
    m_tickTimerId = 0;
}

void PaintManager::AddMTimer(MControl* control) {
    if (!control) return;
    std::lock_guard<std::recursive_mutex> lock(m_tickLock);
    if (!Contains(m_tickList, control)) m_tickList.push_back(control);
}

void PaintManager::DeleteFSTimer(MControl* control) {
    std::lock_guard<std::recursive_mutex> lock(m_tickLock);
    m_tickList.erase(std::remove(m_tickList.begin(), m_tickList.end(), control), m_tickList.end());
}

void PaintManager::OnMTimer(UINT id) {
    if (id != m_tickTimerId || !m_tickTimerId) return;
    ++m_dispatchDepth;
    {
        std::lock_guard<std::recursive_mutex> lock(m_tickLock);
        for (std::size_t i = 0; i < m_tickList.size(); ++i) {
            MControl* c = m_tickList[i];
            if (c->IsRunTimer() && c->IsVisible() && c->IsParentVisible()) c->OnTimer();
        }
    }
    if (--m_dispatchDepth == 0) FlushGraveyard();
}

// ---- the tree --------------------------------------------------------------
void PaintManager::SetFocusControl(MControl* control) {
    if (control == m_focus) return;
    MControl* old = m_focus;
    m_focus = control;
    if (old) old->SetControlFocus(0);
    if (control) control->SetControlFocus(1);
}

namespace {
bool Focusable(MControl* c) { return c->IsVisible() && c->IsEnabled() && c->IsTabStop(); }
}  // namespace

MControl* PaintManager::GetNextFocusableControl() {
    const std::vector<MControl*> list = GetControls();
    auto at = std::find(list.begin(), list.end(), m_focus);
    if (at == list.end()) {
        for (MControl* c : list)
            if (Focusable(c)) return c;
        return nullptr;
    }
    const std::size_t start = static_cast<std::size_t>(at - list.begin());
    for (std::size_t n = 1; n <= list.size(); ++n) {
        MControl* c = list[(start + n) % list.size()];
        if (Focusable(c)) return c;
    }
    return nullptr;
}

MControl* PaintManager::GetPrevFocusableControl() {
    const std::vector<MControl*> list = GetControls();
    auto at = std::find(list.begin(), list.end(), m_focus);
    if (at == list.end()) {
        for (MControl* c : list)
            if (Focusable(c)) return c;
        return nullptr;
    }
    const std::size_t start = static_cast<std::size_t>(at - list.begin());
    for (std::size_t n = 1; n <= list.size(); ++n) {
        MControl* c = list[(start + list.size() - n) % list.size()];
        if (Focusable(c)) return c;
    }
    return nullptr;
}

bool PaintManager::MoveFocusByTab(bool backwards) {
    MControl* next = backwards ? GetPrevFocusableControl() : GetNextFocusableControl();
    if (!next || next == m_focus) return false;
    SetFocusControl(next);
    return true;
}

void PaintManager::SetTooltip(const CString& text, CRect rect) {
    m_tooltipText = text;
    if (!m_tooltipWnd && m_hWnd && !text.empty()) {
        // Created at first use, as one tool covering the client area.
        auto tip = std::make_unique<ToolTipWnd>();
        if (tip->Create(m_hWnd)) m_tooltipWnd = std::move(tip);
    }
    if (m_tooltipWnd) m_tooltipWnd->SetText(text, rect);
}

void PaintManager::ClearTooltip() {
    m_tooltipText.clear();
    m_tooltipOwner = 0xFFFFFFFF;
    if (m_tooltipWnd) m_tooltipWnd->SetText(CString(), CRect());
}

MControl* PaintManager::GetControl(UINT id) {
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

MControl* PaintManager::FindControlAt(CPoint pt) {
    MControl* hit = nullptr;
    for (MControl* c : GetControls())
        if (c->PtInRect(pt) && c->GetRresponse()) hit = c;
    return hit;
}

std::vector<MControl*> PaintManager::GetControls() const {
    std::lock_guard<std::recursive_mutex> lock(m_controlLock);
    return m_controlList;
}

std::vector<MControl*> PaintManager::GetAreas() const {
    std::lock_guard<std::recursive_mutex> lock(m_areaLock);
    return m_areaList;
}

MControl* PaintManager::CreateControl(UINT kind, MObject* parent, const wchar_t* className, UINT id, CRect rect,
                                      const wchar_t* text, int visible, int enabled) {
    ControlCreator creator = FindControlClass(className, kFactoryWindow);
    if (!creator) return nullptr;
    MControl* control = creator(parent, id, rect, text ? text : L"", visible, enabled);
    if (!control) return nullptr;
    control->SetManager(this);
    control->InitControl(this);
    if (kind == 1) AddControl(control);
    else if (kind == 0) AddArea(control);
    return control;
}

void PaintManager::AddControl(MControl* control) {
    if (!control) return;
    if (!control->GetManager()) control->SetManager(this);
    std::lock_guard<std::recursive_mutex> lock(m_controlLock);
    m_controlList.push_back(control);
}

void PaintManager::AddArea(MControl* area) {
    if (!area) return;
    if (!area->GetManager()) area->SetManager(this);
    std::lock_guard<std::recursive_mutex> lock(m_areaLock);
    m_areaList.push_back(area);
}

void PaintManager::ForgetSubtree(MControl* control) {
    if (!control) return;
    std::vector<MControl*> gone;
    control->CollectSubtree(gone);
    if (Contains(gone, m_hover)) m_hover = nullptr;
    if (Contains(gone, m_pressed)) m_pressed = nullptr;
    if (Contains(gone, m_focus)) {
        MControl* f = m_focus;
        m_focus = nullptr;
        f->SetControlFocus(0);
    }
    {
        std::lock_guard<std::recursive_mutex> lock(m_tickLock);
        m_tickList.erase(std::remove_if(m_tickList.begin(), m_tickList.end(),
                                        [&](MControl* c) { return Contains(gone, c); }),
                         m_tickList.end());
    }
    {
        std::lock_guard<std::recursive_mutex> lock(m_timerLock);
        for (auto it = m_timers.begin(); it != m_timers.end();) {
            if (Contains(gone, it->control)) {
                if (!it->stopped && ::IsWindow(m_hWnd)) ::KillTimer(m_hWnd, it->platformId);
                it = m_timers.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (MControl* c : GetAreas()) c->ForgetDescendants(gone);
    for (MControl* c : GetControls()) c->ForgetDescendants(gone);
}

void PaintManager::OnControlDestroyed(MControl* control) {
    if (m_hover == control) m_hover = nullptr;
    if (m_pressed == control) m_pressed = nullptr;
    if (m_focus == control) m_focus = nullptr;
    {
        std::lock_guard<std::recursive_mutex> lock(m_tickLock);
        m_tickList.erase(std::remove(m_tickList.begin(), m_tickList.end(), control), m_tickList.end());
    }
    std::lock_guard<std::recursive_mutex> lock(m_timerLock);
    for (auto it = m_timers.begin(); it != m_timers.end();) {
        if (it->control == control) {
            if (!it->stopped && ::IsWindow(m_hWnd)) ::KillTimer(m_hWnd, it->platformId);
            it = m_timers.erase(it);
        } else {
            ++it;
        }
    }
}

void PaintManager::DisposeControl(MControl* control) {
    if (!control) return;
    // Inside a window message the control may be the one whose handler runs.
    if (m_dispatchDepth > 0) m_graveyard.push_back(control);
    else delete control;
}

void PaintManager::FlushGraveyard() {
    while (!m_graveyard.empty()) {
        std::vector<MControl*> dead;
        dead.swap(m_graveyard);
        for (MControl* c : dead) delete c;
    }
}

void PaintManager::RemoveControl(MControl* control) {
    if (!control) return;
    bool found = false;
    {
        std::lock_guard<std::recursive_mutex> lock(m_controlLock);
        auto it = std::find(m_controlList.begin(), m_controlList.end(), control);
        if (it != m_controlList.end()) {
            m_controlList.erase(it);
            found = true;
        }
    }
    if (!found) {
        std::lock_guard<std::recursive_mutex> lock(m_areaLock);
        auto it = std::find(m_areaList.begin(), m_areaList.end(), control);
        if (it != m_areaList.end()) {
            m_areaList.erase(it);
            found = true;
        }
    }
    if (!found) return;
    ForgetSubtree(control);
    DisposeControl(control);
}

void PaintManager::DisposeList(std::recursive_mutex& listLock, std::vector<MControl*>& controls) {
    // Taken out under the lock and disposed outside it, so no list lock is
    // held while controls are destroyed.
    std::vector<MControl*> list;
    {
        std::lock_guard<std::recursive_mutex> lock(listLock);
        list.swap(controls);
    }
    for (MControl* c : list) {
        ForgetSubtree(c);
        DisposeControl(c);
    }
}

void PaintManager::ClearAreaControls() { DisposeList(m_areaLock, m_areaList); }

void PaintManager::ClearControls() { DisposeList(m_controlLock, m_controlList); }

void PaintManager::ClearAllControls() {
    ClearAreaControls();
    ClearControls();
}

// ---- repaint requests ------------------------------------------------------
LRESULT PaintManager::OnControlUpdate(CRect rect, int redraw, MControl* control) {
    CRect u = rect;
    if (redraw && control) control->SetUpdate(0, m_bodyColor);
    std::vector<MControl*> seq = GetAreas();
    const std::vector<MControl*> controls = GetControls();
    seq.insert(seq.end(), controls.begin(), controls.end());
    auto it = std::find(seq.begin(), seq.end(), control);
    if (it != seq.end()) {
        // Later siblings over the rect paint on top of it: they are drawn again
        // in full, so their area joins the repaint.
        for (++it; it != seq.end(); ++it) {
            MControl* s = *it;
            if (!s->IsVisible() || !s->GetRect().Intersects(u)) continue;
            s->SetUpdate(0, m_bodyColor);
            u.UnionRect(u, s->GetRect());
        }
    }
    InvalidateRect(u, 0);
    return 1;
}

void PaintManager::Invalidate() {
    if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, m_layered ? 1 : 0);
}

void PaintManager::InvalidateRect(CRect rect, int erase) {
    if (!m_hWnd) return;
    // A per-pixel-alpha window is always composed whole.
    if (m_layered) ::InvalidateRect(m_hWnd, nullptr, 1);
    else if (!rect.IsRectEmpty()) ::InvalidateRect(m_hWnd, &rect, erase);
}

void PaintManager::SetCapture() {
    if (!m_hWnd) return;
    ::SetCapture(m_hWnd);
    m_captured = 1;
}

void PaintManager::ReleaseCapture() {
    if (m_captured) ::ReleaseCapture();
    m_captured = 0;
}

CRect PaintManager::GetClientRect() const {
    CRect r;
    ::GetClientRect(m_hWnd, &r);
    return r;
}

CRect PaintManager::GetWindowRect() const {
    CRect r;
    ::GetWindowRect(m_hWnd, &r);
    return r;
}

CSize PaintManager::GetClientSize() const { return GetClientRect().Size(); }

LRESULT PaintManager::SendMessageW(UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::SendMessageW(m_hWnd, msg, wParam, lParam);
}

BOOL PaintManager::PostMessageW(UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::PostMessageW(m_hWnd, msg, wParam, lParam);
}

// ---- overlay ---------------------------------------------------------------
void PaintManager::StartOverlayTimer(UINT id, UINT elapse) {
    if (m_hWnd) ::SetTimer(m_hWnd, id, elapse, nullptr);
}

void PaintManager::StopOverlayTimer(UINT id) {
    if (m_hWnd) ::KillTimer(m_hWnd, id);
}

void PaintManager::SetMessage(const CString& text, CRect rect) {
    StopOverlayTimer(kTimerMessageFade);
    StopOverlayTimer(kTimerProgress);
    m_msgText = text;
    m_msgAlpha = 255;
    m_msgProgress = 0;
    m_msgTarget = 0;
    m_msgRect = rect;
    InvalidateRect(rect, 0);
    StartOverlayTimer(kTimerMessageHold, 3000);
}

void PaintManager::SetProgress(int percent, const CString& text, CRect rect) {
    if (percent == m_msgTarget) return;
    if (percent < 5) StopOverlayTimer(kTimerMessageFade);
    m_msgAlpha = 255;
    m_msgText = text;
    m_msgTarget = percent;
    if (rect.IsRectEmpty()) {
        const CRect client = GetClientRect();
        rect = CRect(client.left, client.bottom - 60, client.right, client.bottom - 2);
    }
    InvalidateRect(m_msgRect, 0);
    m_msgRect = rect;
    if (m_msgTarget - m_msgProgress < 6) {
        m_msgProgress = m_msgTarget;
        StopOverlayTimer(kTimerProgress);
        if (m_msgProgress >= 100) StartOverlayTimer(kTimerMessageFade, 50);
    } else {
        StartOverlayTimer(kTimerProgress, 10);
    }
    InvalidateRect(m_msgRect, 0);
}

void PaintManager::DrawOverlay(Graphics& g) {
    const CRect r = m_msgRect;
    if (r.IsRectEmpty()) return;
    const int a = std::clamp(m_msgAlpha, 0, 255);
    g.FillRect(r, MakeARGB(a, 0xE6, 0xE6, 0xE6));
    CRect inner = r;
    inner.DeflateRect(2, 2);
    g.FillRect(inner, MakeARGB(a, 0xFE, 0xFE, 0xFE));
    FontFamily* family = GetPrivateFont(m_fontName);
    const Font font(family ? family->family : m_fontName, 12);
    const ARGB textColor = MakeARGB(a, 0x05, 0x05, 0x05);
    if (m_msgTarget == 0 && m_msgProgress == 0) {
        g.DrawString(m_msgText, font, CRect(r.left + 5, r.top + 5, r.left + 5 + 190, r.top + 5 + 50),
                     StringFormat(0, 0, true), textColor);
        return;
    }
    g.DrawString(m_msgText, font, CRect(r.left + 5, r.top + 5, r.left + 5 + (r.Width() - 10), r.top + 5 + 30),
                 StringFormat(1, 4), textColor);
    g.DrawLine(r.left + 10, r.bottom - 15, r.right - 20, r.bottom - 15, 0xC8C8C8C8, 1);
    const int length = std::clamp(m_msgProgress, 0, 100) * (r.Width() - 20) / 100;
    g.FillRect(CRect(r.left + 10, r.bottom - 16, r.left + 10 + length, r.bottom - 13), 0xFEFFE100);
}

// ---- dispatch --------------------------------------------------------------
void PaintManager::OnTimerMessage(UINT id) {
    switch (id) {
    case kTimerCaret:
        // Only rich edits draw a caret; none of this toolkit's controls does.
        return;
    case kTimerMessageHold:
        StopOverlayTimer(kTimerMessageHold);
        StartOverlayTimer(kTimerMessageFade, 50);
        return;
    case kTimerMessageFade:
        if (m_msgAlpha - 10 < 20) {
            m_msgAlpha = 0;
            m_msgProgress = 0;
            m_msgTarget = 0;
            StopOverlayTimer(kTimerMessageFade);
            Invalidate();
        } else {
            m_msgAlpha -= 10;
            InvalidateRect(m_msgRect, 0);
        }
        return;
    case kTimerProgress:
        m_msgProgress += 2;
        if (m_msgProgress >= m_msgTarget) {
            m_msgProgress = m_msgTarget;
            StopOverlayTimer(kTimerProgress);
            if (m_msgProgress >= 100) StartOverlayTimer(kTimerMessageFade, 50);
        }
        InvalidateRect(m_msgRect, 0);
        return;
    default:
        break;
    }
    std::vector<MControl*> due;
    {
        std::lock_guard<std::recursive_mutex> lock(m_timerLock);
        for (const TimerEntry& e : m_timers)
            if (e.platformId == id && !e.stopped) due.push_back(e.control);
    }
    for (MControl* c : due) {
        // A handler may stop or destroy the others.
        bool running = false;
        {
            std::lock_guard<std::recursive_mutex> lock(m_timerLock);
            running = std::any_of(m_timers.begin(), m_timers.end(), [&](const TimerEntry& e) {
                return e.control == c && e.platformId == id && !e.stopped;
            });
        }
        if (running) c->OnTimer();
    }
}

LRESULT PaintManager::OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!m_initialized) return 0;
    struct Depth {
        PaintManager* pm;
        explicit Depth(PaintManager* p) : pm(p) { ++pm->m_dispatchDepth; }
        ~Depth() {
            if (--pm->m_dispatchDepth == 0) pm->FlushGraveyard();
        }
    } depth(this);

    for (MControl* c : GetControls())
        if (c->OnWindowMessage(msg, wParam, lParam)) return 0;

    switch (msg) {
    case WM_PAINT:
        OnPaint();
        return 1;
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        if (!info) return 1;
        if (m_minSize.cx > 0 && m_minSize.cy > 0) info->ptMinTrackSize = CPoint(m_minSize.cx, m_minSize.cy);
        if (m_maxSize.cx > 0 && m_maxSize.cy > 0) {
            info->ptMaxTrackSize = CPoint(m_maxSize.cx, m_maxSize.cy);
            info->ptMaxSize = CPoint(m_maxSize.cx, m_maxSize.cy);
        }
        return 1;
    }
    case WM_CREATE:
    case WM_DESTROY:
    case WM_SIZE:
    case WM_CHAR:
    case WM_MOUSEHOVER:
        return 1;
    case WM_NCDESTROY:
        DestroyData();
        return 0;
    case WM_NCACTIVATE:
        if (!wParam) OnDeactivate();
        return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        return RouteKey(static_cast<UINT>(wParam));
    case WM_KEYUP:
        return 0;
    case WM_TIMER:
        OnTimerMessage(static_cast<UINT>(wParam));
        return 1;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MOUSELEAVE:
        RouteMouse(msg, wParam, lParam);
        return 1;
    case WM_MOUSEWHEEL:
        return RouteWheel(wParam, lParam);
    case WM_COMMAND:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
        // Native child windows get their own notifications back.
        const HWND child = reinterpret_cast<HWND>(lParam);
        if (child && child != m_hWnd && ::IsWindow(child)) return ::SendMessageW(child, msg + 0x2000, wParam, lParam);
        return 0;
    }
    default:
        return 0;
    }
}

int PaintManager::PreTranslateMessage(MSG* msg) {
    if (!m_initialized || !msg || msg->hwnd != m_hWnd) return 0;
    if ((msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN) && msg->wParam == VK_TAB &&
        GetKeyState(VK_CONTROL) >= 0 && GetKeyState(VK_MENU) >= 0) {
        if (MoveFocusByTab(GetKeyState(VK_SHIFT) < 0)) return 1;
    }
    if (m_tooltipWnd && (IsMouseMessage(msg->message) || msg->message == WM_MOUSELEAVE ||
                         msg->message == WM_MOUSEWHEEL))
        m_tooltipWnd->RelayEvent(*msg);
    return 0;
}

// ---- painting --------------------------------------------------------------
LRESULT PaintManager::OnPaint() {
    if (!m_hWnd) return 0;
    if (::IsIconic(m_hWnd)) {
        ::ValidateRect(m_hWnd, nullptr);
        return 0;
    }
    CRect update;
    if (!::GetUpdateRect(m_hWnd, &update, 0)) return 0;
    PAINTSTRUCT ps;
    Image* surface = ::BeginPaint(m_hWnd, &ps);
    if (!surface) {
        ::EndPaint(m_hWnd, &ps);
        return 0;
    }
    if (m_layered) {
        ps.rcPaint = CRect(0, 0, surface->Width(), surface->Height());
        const DWORD ex = static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE));
        if (!(ex & WS_EX_LAYERED)) ::SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, static_cast<LONG_PTR>(ex | WS_EX_LAYERED));
    }
    PaintInto(*surface, ps.rcPaint);
    ::EndPaint(m_hWnd, &ps);
    return 1;
}

void PaintManager::PaintInto(Image& surface, CRect clip) {
    if (surface.IsNull()) return;
    const CRect client(0, 0, surface.Width(), surface.Height());
    if (!clip.IntersectRect(clip, client)) return;
    Graphics g(surface);
    HDC hdc = &g;
    g.SetClip(clip);
    // Every paint starts from a clear surface, as a fresh one would be.
    g.ClearRect(clip, 0);
    if (m_bkImage) {
        if (m_backMode == BackModeNineGrid)
            MRender::DrawImageFrame(g, m_bkImage.get(), client, 0, 0, m_bkWidth, m_bkHeight, m_corner);
        else
            g.DrawImage(*m_bkImage, 0, 0);
    } else {
        g.ClearRect(client, ColorRefToARGB(m_borderColor, 254));
        CRect body = client;
        body.DeflateRect(1, 1);
        g.ClearRect(body, ColorRefToARGB(m_bodyColor, 254));
    }
    const CRect drawClip = m_layered ? client : clip;
    {
        std::lock_guard<std::recursive_mutex> lock(m_areaLock);
        for (std::size_t i = 0; i < m_areaList.size(); ++i) m_areaList[i]->Draw(hdc, drawClip);
    }
    {
        std::lock_guard<std::recursive_mutex> lock(m_controlLock);
        for (std::size_t i = 0; i < m_controlList.size(); ++i) m_controlList[i]->Draw(hdc, drawClip);
    }
    if (m_layered) {
        // Pixels with colour but no alpha (left by text drawn without alpha)
        // would vanish on a per-pixel-alpha window.
        std::uint32_t* bits = surface.Bits();
        const int stride = surface.Stride();
        for (int y = clip.top; y < clip.bottom; ++y) {
            std::uint32_t* row = bits + static_cast<std::ptrdiff_t>(y) * stride;
            for (int x = clip.left; x < clip.right; ++x)
                if ((row[x] >> 24) == 0 && (row[x] & 0x00FFFFFF) != 0) row[x] |= 0xFF000000;
        }
    }
    if (m_msgAlpha > 10 && !m_msgText.empty()) DrawOverlay(g);
}

// ---- input routing ---------------------------------------------------------
void PaintManager::RouteMouse(UINT msg, WPARAM wParam, LPARAM lParam) {
    const UINT flags = static_cast<UINT>(wParam);
    const CPoint pt(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
    switch (msg) {
    case WM_MOUSEMOVE: {
        if (!m_mouseTracking) {
            TRACKMOUSEEVENT tme;
            tme.dwFlags = TME_LEAVE | TME_HOVER;
            tme.hwndTrack = m_hWnd;
            tme.dwHoverTime = 400;
            ::TrackMouseEvent(&tme);
            m_mouseTracking = 1;
        }
        if (m_hover && m_hover->PtInRect(pt) && m_hover->OnCheckMouseResponse(flags, pt)) {
            m_hover->OnMouseMove(flags, pt);
            return;
        }
        ClearTooltip();
        if (m_pressed) return;
        MControl* hover = nullptr;
        for (MControl* c : GetControls()) {
            c->OnMouseMove(flags, pt);
            if (c->PtInRect(pt) && c->GetRresponse()) hover = c;
        }
        // A handler may have taken the control out of the tree meanwhile.
        m_hover = hover && Contains(GetControls(), hover) ? hover : nullptr;
        return;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN: {
        const bool left = msg == WM_LBUTTONDOWN;
        // A press without a move before it (the pointer arrived while the
        // window was covered) first finds its control.
        if (!m_pressed && (!m_hover || !m_hover->PtInRect(pt))) RouteMouse(WM_MOUSEMOVE, wParam & ~(MK_LBUTTON | MK_RBUTTON), lParam);
        if (m_focus && m_focus != m_hover) {
            MControl* f = m_focus;
            m_focus = nullptr;
            f->SetControlFocus(0);
        }
        MControl* h = m_hover;
        if (h && h->IsVisible() && h->GetRresponse() && h->PtInRect(pt) && h->OnCheckMouseResponse(flags, pt)) {
            if (left && h->IsDragDrop() && h->IsEnabled()) m_dragArmed = 1;
            m_pressed = h;
            SetFocusControl(h);
            if (left) h->OnLButtonDown(flags, pt);
            else h->OnRButtonDown(flags, pt);
            if (!m_captured && m_hover == h && h->OnCheckMouseResponse(flags, pt)) SetCapture();
            return;
        }
        if (left && m_wndDrag) {
            ReleaseCapture();
            CPoint screen = pt;
            ::ClientToScreen(m_hWnd, &screen);
            ::SendMessageW(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(screen.x, screen.y));
        }
        return;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP: {
        ReleaseCapture();
        m_pressed = nullptr;
        m_dragArmed = 0;
        MControl* h = m_hover;
        if (h && h->IsVisible() && h->GetRresponse()) {
            if (msg == WM_LBUTTONUP) h->OnLButtonUp(flags, pt);
            else h->OnRButtonUp(flags, pt);
            if (m_hover == h && !h->PtInRect(pt)) m_hover = nullptr;
        }
        return;
    }
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK: {
        m_dblClkFlag = 1;
        MControl* h = m_hover;
        if (h && h->IsVisible() && h->GetRresponse()) {
            if (msg == WM_LBUTTONDBLCLK) h->OnLButtonDblClk(flags, pt);
            else h->OnRButtonDblClk(flags, pt);
            if (m_hover == h && !h->PtInRect(pt)) m_hover = nullptr;
        }
        return;
    }
    case WM_MOUSELEAVE: {
        m_mouseTracking = 0;
        ClearTooltip();
        if (!m_pressed && m_hover) {
            MControl* h = m_hover;
            m_hover = nullptr;
            h->OnMouseMove(0, CPoint(-1, -1));
        }
        return;
    }
    default:
        return;
    }
}

LRESULT PaintManager::RouteWheel(WPARAM wParam, LPARAM lParam) {
    const int delta = GET_WHEEL_DELTA_WPARAM(wParam);
    const int notches = std::abs(delta / WHEEL_DELTA);
    const UINT direction = delta <= 0 ? 1 : 0;
    CPoint pt(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
    ::ScreenToClient(m_hWnd, &pt);
    LRESULT handled = 0;
    for (int n = 0; n < notches; ++n) {
        int r = m_hover ? m_hover->OnScroll(1, direction, pt) : 0;
        if (!r) {
            for (MControl* c : GetControls()) {
                if (c->OnScroll(1, direction, pt)) {
                    r = 1;
                    break;
                }
            }
        }
        if (r) handled = 1;
    }
    return handled;
}

LRESULT PaintManager::RouteKey(UINT key) {
    const UINT modifier = CurrentKeyModifierCode();
    if (m_hover && m_hover->OnKeyDown(key, 1, modifier)) return 1;
    for (MControl* c : GetControls())
        if (c->OnKeyDown(key, 1, modifier)) return 1;
    return 0;
}

void PaintManager::OnDeactivate() {
    m_mouseTracking = 0;
    ReleaseCapture();
    m_dblClkFlag = 0;
    if (MControl* p = m_pressed) {
        m_pressed = nullptr;
        p->OnLButtonUp(0, CPoint(-1, -1));
    } else if (MControl* h = m_hover) {
        h->OnMouseMove(0, CPoint(-1, -1));
    }
    m_hover = nullptr;
    Invalidate();
}

// ---- destruction -----------------------------------------------------------
void PaintManager::OnDestroyMessage(HWND hwnd) {
    if (hwnd == m_hWnd) DestroyData();
}

void PaintManager::DestroyData() {
    m_bkImage.reset();
    KillMTimer();
    ClearTimers();
    {
        std::lock_guard<std::recursive_mutex> lock(m_tickLock);
        m_tickList.clear();
    }
    m_hover = nullptr;
    m_pressed = nullptr;
    m_focus = nullptr;
    ClearAllControls();
    m_tooltipWnd.reset();
    ClearImgResInfo();
    ClearTempFont();
    m_captured = 0;
    m_mouseTracking = 0;
    m_initialized = 0;
    m_hWnd = nullptr;
}
