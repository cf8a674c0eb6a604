// Popup windows: MenuWnd with its MenuItem controls, MPopupWnd (the same kind
// of window without items, for drop-down lists) and CKeyboardTips (the key
// tip popup with per-pixel alpha).
#pragma once

#include <vector>

#include "tavri/control.h"
#include "tavri/window.h"

class MenuWnd;

class TAVRI_EXPORT MenuItem : public MControlFont {
public:
    MenuItem(MObject* parent, UINT id, CRect rect, const wchar_t* title, int visible, int enabled);
    ~MenuItem() override;

    const wchar_t* GetClassNameW() override;  // "MenuItem"
    void DrawControl(HDC& hdc, CRect clip) override;
    int OnControlMouseMove(UINT flags, CPoint pt) override;
    int OnControlLButtonDown(UINT flags, CPoint pt) override;
    int OnControlLButtonUp(UINT flags, CPoint pt) override;
    void SetControlEnabled(int enabled) override;

    void SetGroupName(const wchar_t* name) { m_groupName = name ? name : L""; }
    CString GetGroupName() const { return m_groupName; }
    void SetCheckable(int on) { m_checkable = on; }
    int IsCheckable() const { return m_checkable; }
    void SetCheck(int check);
    int GetCheck() const { return m_check; }
    void SetSeparator(int on) { m_separator = on; }
    int IsSeparator() const { return m_separator; }
    void SetHoverColor(ARGB color) { m_hoverColor = color; }
    ARGB GetHoverColor() const { return m_hoverColor; }
    void SetTextIndent(int indent) { m_indent = indent; }
    int GetTextIndent() const { return m_indent; }
    // Optional pictures: drawn behind a hovered item and in front of a checked one.
    void SetHoverImage(const ImgResInfo* image) { m_hoverImage = image; }
    void SetCheckImage(const ImgResInfo* image) { m_checkImage = image; }
    void SetSubMenu(MenuWnd* menu) { m_subMenu = menu; m_popup = menu != nullptr; }
    MenuWnd* GetSubMenu() const { return m_subMenu; }
    // 0 normal, 1 hover, 2 pressed or checked, 6 hover while checked.
    int GetState() const { return m_state; }
    void SetFrameWidth(int w) { m_frameWidth = w; }

private:
    void SetState(int state);
    int RestingState() const { return m_check ? 2 : 0; }

    CString m_groupName = L"Menu Group";
    const ImgResInfo* m_titleImage = nullptr;
    ARGB m_hoverColor = 0xFFC95100;
    int m_check = 0;
    int m_checkable = 0;
    int m_state = 0;
    int m_pressed = 0;
    int m_popup = 0;
    int m_separator = 0;
    MenuWnd* m_subMenu = nullptr;
    int m_frameWidth = 0;
    int m_indent = 0;
    const ImgResInfo* m_hoverImage = nullptr;
    const ImgResInfo* m_checkImage = nullptr;
};

class TAVRI_EXPORT MenuWnd : public MDialog {
public:
    explicit MenuWnd(MObject* parent);
    ~MenuWnd() override;

    const wchar_t* GetClassNameW() override;  // "MenuWnd": not a dialog for IsParentVisible
    LRESULT OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    int OnInitDialog() override;
    LRESULT OnCreate(CREATESTRUCT* cs) override;
    void InitUI(CRect clientRect) override;
    LRESULT OnMessage(UINT controlId, UINT code, UINT wParam, LPARAM lParam) override;
    LRESULT OnWindowPosChanged(WINDOWPOS* pos) override;

    // Background image from the skin folder (or a "PNG" resource), drawn with
    // `mode` and `corner`; the window "Menu Window" opens at `pt`. 1 on success.
    int Create(HWND owner, CPoint pt, UINT notifyMsg, const CString& backImage, int corner, int width,
               enumBackMode mode);
    int Create(HWND owner, CPoint pt, UINT notifyMsg, UINT resourceId, int corner, int width,
               enumBackMode mode);
    int Create(HWND owner, CPoint pt, UINT notifyMsg);

    // Adds an item; the menu grows to fit its title. Returns -1.
    int AddMenu(const CString& title, UINT id, const CString& iconFile, int reserved1 = 0, int reserved2 = 0);
    int AddMenu(const CString& title, UINT id, int resourceId, int reserved1 = 0, int reserved2 = 0);
    int AddSeparator(UINT id, const CString& unused = CString());
    // Changes recorded for an item id, applied when the menu window
    // initialises (at once when it already exists).
    void SetItemTitle(UINT id, const CString& title);
    void SetItemVisible(UINT id, int visible);
    void SetItemEnable(UINT id, int enabled);
    void SetItemCheck(UINT id, int check);

    MObject* GetParent() const { return m_parentObject; }
    void SetParent(MObject* parent) { m_parentObject = parent; }
    // Posts a close request to itself.
    void CloseWindow();

    void SetMenuFont(const CString& name, int size, int style);
    void SetItemHeight(int height) { m_itemHeight = height; }
    void SetTextIndent(int indent) { m_indent = indent; }
    void SetPadding(int top, int bottom) { m_topPadding = top; m_bottomPadding = bottom; }
    void SetHoverColor(ARGB color) { m_hoverColor = color; }
    void SetItemImages(const CString& hoverImage, const CString& checkImage);
    int GetMenuWidth() const { return m_width; }
    int GetItemHeight() const { return m_itemHeight; }
    int GetTextIndent() const { return m_indent; }
    // Rounds the window's corners.
    void SetupRegion(int radius);
    // Places the items and sizes the window to them.
    void Layout();

protected:
    struct Deferred {
        UINT id;
        int what;  // 0 title, 1 visible, 2 enabled, 3 check
        CString title;
        int value;
    };
    void ApplyDeferred(const Deferred& change);
    MenuItem* FindItem(UINT id);
    int CreateMenuWindow(HWND owner, CPoint pt, UINT notifyMsg, int width);
    void WidenFor(const CString& title);

    MObject* m_parentObject = nullptr;
    HWND m_owner = nullptr;
    UINT m_notifyMsg = 0;
    CString m_fontName;
    int m_fontSize = 14;
    int m_fontStyle = 0;
    int m_hAlign = 4;
    int m_vAlign = 5;
    int m_itemHeight = 35;
    int m_width = 300;
    int m_indent = 0;
    int m_topPadding = 6;
    int m_bottomPadding = 6;
    int m_separatorSpacing = 4;
    ARGB m_hoverColor = 0xFF285055;
    CString m_hoverImageFile;
    CString m_checkImageFile;
    std::vector<Deferred> m_deferred;
    CString m_backImage;
    UINT m_backResource = 0;
    int m_backCorner = 4;
    enumBackMode m_backMode = BackModeOrigin;
    int m_closing = 0;
};

class TAVRI_EXPORT MPopupWnd : public MDialog {
public:
    explicit MPopupWnd(MObject* parent);
    ~MPopupWnd() override;

    const wchar_t* GetClassNameW() override;  // "MPopupWnd"
    LRESULT OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    int OnInitDialog() override;
    LRESULT OnCreate(CREATESTRUCT* cs) override;
    // Notifications of the popup's controls go to its parent object.
    LRESULT OnMessage(UINT controlId, UINT code, UINT wParam, LPARAM lParam) override;

    // Opens the popup at `rect` (screen coordinates); it closes itself when it
    // loses activation. 1 on success.
    int Create(HWND owner, CRect rect, const wchar_t* title = L"ComboWnd");
    MObject* GetParent() const { return m_parentObject; }
    void SetParent(MObject* parent) { m_parentObject = parent; }
    void CloseWindow();
    // Hide instead of destroy when the popup loses activation.
    void SetHideOnDeactivate(int on) { m_hideOnDeactivate = on; }

protected:
    MObject* m_parentObject = nullptr;
    int m_hideOnDeactivate = 0;
};

class TAVRI_EXPORT CKeyboardTips : public MWindow {
public:
    CKeyboardTips();
    ~CKeyboardTips() override;

    LRESULT OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    int ShowWindow(int cmd) override;

    // Creates the popup "KeyboardTip Window" owned by `owner` (zero size until
    // there is something to show). 1 on success.
    int Create(HWND owner);
    int LoadBKImage(const CString& file);
    void SetBackMode(enumBackMode mode, int corner = 6);
    // Moves the tip to (x - 95, y - 100), 190 x 100, and repaints it, unless
    // nothing changed or the title is empty.
    void SetAirBladderMsg(const wchar_t* title, const wchar_t* line2, const wchar_t* line3, int x, int y);
    CString GetTitle() const { return m_title; }
    CString GetLine2() const { return m_line2; }
    CString GetLine3() const { return m_line3; }
    // Timer that hides the tip when it fires.
    static constexpr UINT kHideTimer = 10;

private:
    void Paint();

    std::unique_ptr<Image> m_background;
    enumBackMode m_backMode = BackModeNineGrid;
    int m_corner = 6;
    CString m_title;
    CString m_line2;
    CString m_line3;
    CPoint m_anchor{-1, -1};
};
