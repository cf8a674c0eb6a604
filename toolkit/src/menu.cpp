// Popup menus (MenuWnd, MenuItem) and the drop-down popup MPopupWnd.
#include "tavri/menu.h"

#include <algorithm>

#include "tavri/factory.h"
#include "tavri/manager.h"

TAVRI_REGISTER_CONTROL(MenuItem, "MenuItem", kFactoryBoth, new MenuItem(parent, id, rect, text, visible, 1))

// ---- MenuItem --------------------------------------------------------------
namespace {
constexpr ARGB kSeparatorColor = 0xFF3C3C3C;
constexpr ARGB kDisabledText = 0xFF808080;
constexpr int kMinTextIndent = 10;
}  // namespace

MenuItem::MenuItem(MObject* parent, UINT id, CRect rect, const wchar_t* title, int visible, int enabled)
    : MControlFont(parent, id, rect, title, visible, enabled, 1) {}

MenuItem::~MenuItem() = default;

const wchar_t* MenuItem::GetClassNameW() { return L"MenuItem"; }

void MenuItem::SetState(int state) {
    if (state == m_state) return;
    m_state = state;
    UpdateControl();
}

void MenuItem::SetCheck(int check) {
    m_check = check ? 1 : 0;
    SetState(m_state == 1 || m_state == 6 ? (m_check ? 6 : 1) : RestingState());
}

void MenuItem::SetControlEnabled(int enabled) {
    MControlFont::SetControlEnabled(enabled);
    m_state = RestingState();
}

void MenuItem::DrawControl(HDC& hdc, CRect) {
    Graphics& g = *hdc;
    if (m_separator) {
        g.FillRect(m_rect, kSeparatorColor);
        return;
    }
    const bool hot = m_state == 1 || m_state == 6;
    if (hot && m_enabled) {
        if (m_hoverImage) MRender::DrawImageFrame(g, m_hoverImage, m_rect, 0, 4);
        else g.FillRect(m_rect, m_hoverColor);
    }
    int x = m_rect.left + std::max(m_indent, kMinTextIndent);
    if (m_check && m_checkImage && m_checkImage->image) {
        const int w = m_checkImage->frameWidth;
        const int h = m_checkImage->height;
        const int cy = m_rect.top + (m_rect.Height() - h) / 2;
        g.DrawImage(*m_checkImage->image, CRect(m_rect.left + 4, cy, m_rect.left + 4 + w, cy + h), CRect(0, 0, w, h));
    }
    if (m_imageInfo && m_image) {
        const int frame = !m_enabled ? 3 : hot ? 1 : m_state == 2 ? 2 : 0;
        const int w = GetImageFrameWidth();
        const int h = m_imageHeight;
        const int cy = m_rect.top + (m_rect.Height() - h) / 2;
        const int frameIndex = std::min(frame, std::max(m_imageCount - 1, 0));
        g.DrawImage(*m_image, CRect(x, cy, x + w, cy + h), CRect(frameIndex * w, 0, frameIndex * w + w, h));
        x += w + 8;
    }
    const CRect box(x, m_rect.top, m_rect.right - 4, m_rect.bottom);
    g.DrawString(m_title, GetTextFontObject(), box, StringFormat(0, 4), m_enabled ? m_textColor : kDisabledText);
}

int MenuItem::OnControlMouseMove(UINT, CPoint pt) {
    if (m_separator) return 0;
    const bool inside = m_enabled && m_rect.PtInRect(pt);
    SetState(inside ? (m_check ? 6 : 1) : RestingState());
    return inside ? 1 : 0;
}

int MenuItem::OnControlLButtonDown(UINT, CPoint pt) {
    if (!m_enabled || m_separator || !m_rect.PtInRect(pt)) return 0;
    m_pressed = 1;
    if (m_checkable) SendMessageW(7, static_cast<WPARAM>(m_check), 1);
    return 1;
}

int MenuItem::OnControlLButtonUp(UINT, CPoint pt) {
    const int wasPressed = m_pressed;
    m_pressed = 0;
    if (!m_enabled || m_separator || !m_rect.PtInRect(pt)) return 0;
    if (m_checkable) {
        // A grouped item stays checked (radio); a lone one toggles.
        if (wasPressed) SetCheck(!m_groupName.empty() ? 1 : !m_check);
        return 1;
    }
    SendMessageW(2, 0, 0);
    return 1;
}

// ---- MenuWnd ---------------------------------------------------------------
MenuWnd::MenuWnd(MObject* parent)
    : m_parentObject(parent), m_fontName(Manager::GetFontName()), m_fontSize(Manager::GetFontWidth()) {}

MenuWnd::~MenuWnd() {
    if (m_hWnd && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
}

const wchar_t* MenuWnd::GetClassNameW() { return L"MenuWnd"; }

int MenuWnd::CreateMenuWindow(HWND owner, CPoint pt, UINT notifyMsg, int width) {
    m_owner = owner;
    m_notifyMsg = notifyMsg;
    if (width > 0) m_width = width;
    const HWND hwnd = MWindow::Create(owner, L"Menu Window", WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                                      WS_EX_TOOLWINDOW, CRect(pt.x, pt.y, pt.x + m_width, pt.y + m_width));
    return hwnd ? 1 : 0;
}

int MenuWnd::Create(HWND owner, CPoint pt, UINT notifyMsg, const CString& backImage, int corner, int width,
                    enumBackMode mode) {
    m_backImage = backImage;
    m_backResource = 0;
    m_backCorner = corner;
    m_backMode = mode;
    return CreateMenuWindow(owner, pt, notifyMsg, width);
}

int MenuWnd::Create(HWND owner, CPoint pt, UINT notifyMsg, UINT resourceId, int corner, int width,
                    enumBackMode mode) {
    m_backImage.clear();
    m_backResource = resourceId;
    m_backCorner = corner;
    m_backMode = mode;
    return CreateMenuWindow(owner, pt, notifyMsg, width);
}

int MenuWnd::Create(HWND owner, CPoint pt, UINT notifyMsg) { return CreateMenuWindow(owner, pt, notifyMsg, 0); }

LRESULT MenuWnd::OnCreate(CREATESTRUCT* cs) {
    MDialog::OnCreate(cs);
    ::SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, static_cast<LONG_PTR>(WS_EX_TOOLWINDOW));
    return 0;
}

int MenuWnd::OnInitDialog() {
    m_paintManager.SetRootObject(this);
    m_paintManager.Init(m_hWnd, this);
    m_paintManager.EnableWndDrag(0);
    if (!m_backImage.empty()) m_paintManager.LoadBKImage(m_backImage);
    else if (m_backResource) m_paintManager.LoadBKImage(m_backResource, L"PNG");
    m_paintManager.SetBackMode(m_backMode, m_backCorner);
    ::GetClientRect(m_hWnd, &m_clientRect);
    InitUI(m_clientRect);
    return 1;
}

void MenuWnd::InitUI(CRect) {
    for (const Deferred& change : m_deferred) ApplyDeferred(change);
    m_deferred.clear();
    Layout();
}

LRESULT MenuWnd::OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    // A click elsewhere activates another window: the menu goes away.
    if (msg == WM_ACTIVATE && LOWORD(wParam) == WA_INACTIVE && !m_closing) {
        m_closing = 1;
        CloseWindow();
    }
    return MDialog::OnWindowMessage(msg, wParam, lParam);
}

LRESULT MenuWnd::OnMessage(UINT controlId, UINT code, UINT wParam, LPARAM) {
    if (m_owner) ::PostMessageW(m_owner, m_notifyMsg, wParam, static_cast<LPARAM>(controlId));
    if (code == 2) CloseWindow();
    return 1;
}

LRESULT MenuWnd::OnWindowPosChanged(WINDOWPOS* pos) { return MDialog::OnWindowPosChanged(pos); }

void MenuWnd::CloseWindow() {
    if (m_hWnd) ::PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
}

void MenuWnd::SetMenuFont(const CString& name, int size, int style) {
    m_fontName = name;
    m_fontSize = size;
    m_fontStyle = style;
}

void MenuWnd::SetItemImages(const CString& hoverImage, const CString& checkImage) {
    m_hoverImageFile = hoverImage;
    m_checkImageFile = checkImage;
}

void MenuWnd::WidenFor(const CString& title) {
    const int text = MRender::GetTextBounds(Font(m_fontName, static_cast<float>(m_fontSize), m_fontStyle), title).cx;
    if (text + m_indent + 4 > m_width) m_width = text + m_indent + 4;
}

int MenuWnd::AddMenu(const CString& title, UINT id, const CString& iconFile, int, int) {
    auto* item = dynamic_cast<MenuItem*>(CreateControl(L"MenuItem", id, CRect(), title.c_str(), 1, 1));
    if (!item) return -1;
    item->SetFont(m_fontName, m_fontSize, m_fontStyle);
    if (!iconFile.empty()) item->SetImage(iconFile.c_str(), 4);
    WidenFor(title);
    Layout();
    return -1;
}

int MenuWnd::AddMenu(const CString& title, UINT id, int resourceId, int, int) {
    auto* item = dynamic_cast<MenuItem*>(CreateControl(L"MenuItem", id, CRect(), title.c_str(), 1, 1));
    if (!item) return -1;
    item->SetFont(m_fontName, m_fontSize, m_fontStyle);
    if (resourceId != -1) item->SetImage(static_cast<UINT>(resourceId), L"PNG", 4);
    WidenFor(title);
    Layout();
    return -1;
}

int MenuWnd::AddSeparator(UINT id, const CString&) {
    auto* item = dynamic_cast<MenuItem*>(CreateControl(L"MenuItem", id, CRect(), L"", 1, 1));
    if (!item) return -1;
    item->SetSeparator(1);
    Layout();
    return -1;
}

MenuItem* MenuWnd::FindItem(UINT id) {
    for (MControl* c : m_paintManager.GetControls())
        if (c->GetControlID() == id)
            if (auto* item = dynamic_cast<MenuItem*>(c)) return item;
    return nullptr;
}

void MenuWnd::ApplyDeferred(const Deferred& change) {
    MenuItem* item = FindItem(change.id);
    if (!item) return;
    switch (change.what) {
    case 0: item->SetControlTitle(change.title.c_str()); WidenFor(change.title); break;
    case 1: item->SetControlVisible(change.value); break;
    case 2: item->SetControlEnabled(change.value); break;
    case 3: item->SetCheck(change.value); break;
    default: break;
    }
}

void MenuWnd::SetItemTitle(UINT id, const CString& title) {
    const Deferred change{id, 0, title, 0};
    if (!m_hWnd) return m_deferred.push_back(change);
    ApplyDeferred(change);
    Layout();
}

void MenuWnd::SetItemVisible(UINT id, int visible) {
    const Deferred change{id, 1, CString(), visible};
    if (!m_hWnd) return m_deferred.push_back(change);
    ApplyDeferred(change);
    Layout();
}

void MenuWnd::SetItemEnable(UINT id, int enabled) {
    const Deferred change{id, 2, CString(), enabled};
    if (!m_hWnd) return m_deferred.push_back(change);
    ApplyDeferred(change);
    Layout();
}

void MenuWnd::SetItemCheck(UINT id, int check) {
    const Deferred change{id, 3, CString(), check};
    if (!m_hWnd) return m_deferred.push_back(change);
    ApplyDeferred(change);
    Layout();
}

void MenuWnd::Layout() {
    const ImgResInfo* hover =
        m_hoverImageFile.empty() ? nullptr : m_paintManager.AddImgResInfo(m_hoverImageFile.c_str(), 1);
    const ImgResInfo* check =
        m_checkImageFile.empty() ? nullptr : m_paintManager.AddImgResInfo(m_checkImageFile.c_str(), 1);
    int y = m_topPadding ? m_topPadding : 2;
    for (MControl* c : m_paintManager.GetControls()) {
        auto* item = dynamic_cast<MenuItem*>(c);
        if (!item) continue;
        if (!item->IsVisible()) {
            item->SetControlRect(CRect());
            continue;
        }
        if (item->IsSeparator()) {
            item->SetControlRect(CRect(m_indent + 1, y + 1, m_width - 1, y + 2));
            y += m_separatorSpacing;
            continue;
        }
        item->SetControlRect(CRect(2, y, m_width - 2, y + m_itemHeight));
        item->SetTextIndent(m_indent);
        item->SetHoverColor(m_hoverColor);
        item->SetHoverImage(hover);
        item->SetCheckImage(check);
        y += m_itemHeight;
    }
    const int height = y + (m_bottomPadding ? m_bottomPadding : 2);
    if (m_hWnd) {
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, m_width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        ::InvalidateRect(m_hWnd, nullptr, 0);
    }
}

void MenuWnd::SetupRegion(int radius) {
    if (m_hWnd) ::SetWindowRoundRegion(m_hWnd, radius);
}

// ---- MPopupWnd -------------------------------------------------------------
MPopupWnd::MPopupWnd(MObject* parent) : m_parentObject(parent) {}

MPopupWnd::~MPopupWnd() {
    if (m_hWnd && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
}

const wchar_t* MPopupWnd::GetClassNameW() { return L"MPopupWnd"; }

int MPopupWnd::Create(HWND owner, CRect rect, const wchar_t* title) {
    return MWindow::Create(owner, title, WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, WS_EX_TOOLWINDOW,
                           rect)
               ? 1
               : 0;
}

LRESULT MPopupWnd::OnCreate(CREATESTRUCT* cs) {
    MDialog::OnCreate(cs);
    ::SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, static_cast<LONG_PTR>(WS_EX_TOOLWINDOW));
    return 0;
}

int MPopupWnd::OnInitDialog() {
    m_paintManager.SetRootObject(this);
    m_paintManager.Init(m_hWnd, this);
    m_paintManager.EnableWndDrag(0);
    ::GetClientRect(m_hWnd, &m_clientRect);
    InitUI(m_clientRect);
    return 1;
}

LRESULT MPopupWnd::OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_ACTIVATE && LOWORD(wParam) == WA_INACTIVE) {
        if (m_hideOnDeactivate) ::ShowWindow(m_hWnd, SW_HIDE);
        else CloseWindow();
    }
    return MDialog::OnWindowMessage(msg, wParam, lParam);
}

LRESULT MPopupWnd::OnMessage(UINT controlId, UINT code, UINT wParam, LPARAM lParam) {
    return m_parentObject ? m_parentObject->OnBaseMessage(controlId, code, wParam, lParam) : 0;
}

void MPopupWnd::CloseWindow() {
    if (m_hWnd) ::PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
}
