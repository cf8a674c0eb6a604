// Top-level windows: MWindow (a thin wrapper over a host window with the
// shared window procedure) and MDialog (a skinned dialog that is at the same
// time the parent object of its top-level controls).
//
// A program's dialog derives from MDialog and overrides InitUI (build the
// controls through CreateControl / CreateArea), OnMessage (control
// notifications), OnInitDialog, OnTimer, OnClose and the other handlers.
// Dispatch order for a window message: the virtual handler, then the paint
// manager (painting, input routing, timers), then the default procedure.
#pragma once

#include "tavri/control.h"
#include "tavri/host.h"
#include "tavri/messages.h"
#include "tavri/paint_manager.h"
#include "tavri/types.h"

class TAVRI_EXPORT MWindow {
public:
    MWindow();
    // Destroying the object destroys its window first.
    virtual ~MWindow();
    MWindow(const MWindow&) = delete;
    MWindow& operator=(const MWindow&) = delete;

    // ---- virtual operations, in their slot order ----
    virtual const wchar_t* GetWindowClassName() const;  // "TavriClient"
    virtual const wchar_t* GetSuperClassName() const;   // null
    virtual int ShowWindow(int cmd);
    virtual LRESULT OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    virtual int PreTranslateMessage(MSG* msg);
    virtual int OnInitDialog();
    virtual void OnDestroyMessage(HWND hwnd);

    // Returns the existing handle when the window exists; else registers the
    // class once, creates the window (this object as creation parameter) and
    // calls OnInitDialog. Null on failure.
    HWND Create(HWND owner, const wchar_t* title, DWORD style, DWORD exStyle, CRect rect);
    HWND Create(HWND owner);
    HWND Create(HWND owner, CRect rect);

    // Shows the window, disables its owner and pumps until the window is
    // gone. Returns the wParam of the close message addressed to it (0 for a
    // plain close); 0xFFFFFFFF without a window. A quit ends the loop and is
    // posted again for the outer loop.
    UINT ShowModal(int cmdShow = SW_SHOW);
    // Centres on `relativeTo` (else the owner) when it is visible and not
    // minimised, else on the work area; always kept inside the work area.
    void CenterWindow(MWindow* relativeTo = nullptr);
    void SetIcon(UINT resourceId);

    HWND GetSafeHwnd() const { return m_hWnd; }
    HWND GetOwnerHwnd() const { return m_hWndParent; }
    BOOL DestroyWindow();
    BOOL EnableWindow(int enable);
    UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs);
    BOOL KillTimer(UINT_PTR id);
    HWND SetCapture();
    BOOL ReleaseCapture();
    HWND SetFocus();
    BOOL SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
    BOOL MoveWindow(int x, int y, int width, int height, BOOL repaint = 1);
    BOOL MoveWindow(const CRect& rect, BOOL repaint = 1);
    BOOL GetClientRect(CRect* rect) const;
    BOOL GetWindowRect(CRect* rect) const;
    BOOL ClientToScreen(CPoint* pt) const;
    BOOL ScreenToClient(CPoint* pt) const;
    BOOL InvalidateRect(const CRect* rect, BOOL erase = 0);
    LRESULT SendMessageW(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessageW(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    DWORD GetStyle() const;
    DWORD GetExStyle() const;
    BOOL ModifyStyle(DWORD remove, DWORD add);
    BOOL ModifyExStyle(DWORD remove, DWORD add);
    BOOL SetWindowTextW(const wchar_t* text);
    CString GetWindowTextW() const;
    BOOL IsWindowEnabled() const;
    BOOL IsWindowVisible() const;
    BOOL IsIconic() const;
    // Brings the window to the front and restores it when minimised.
    void BringToTop();

    // The shared window procedure of every toolkit window class.
    static LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

protected:
    HWND m_hWndParent = nullptr;
    HWND m_hWnd = nullptr;
    WNDPROC m_oldWndProc = DefWindowProcW;
};

class TAVRI_EXPORT MDialog : public MWindow, public MObject {
public:
    MDialog();
    ~MDialog() override;

    // ---- MObject side ----
    const wchar_t* GetClassNameW() override;  // "MDialog"
    LRESULT OnBaseMessage(UINT controlId, UINT message, UINT wParam, LPARAM lParam) override;
    LRESULT OnControlUpdate(CRect rect, int redraw, MControl* control) override;

    // ---- MWindow side ----
    LRESULT OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    int PreTranslateMessage(MSG* msg) override;
    int OnInitDialog() override;
    void OnDestroyMessage(HWND hwnd) override;

    // ---- virtual operations added here, in their slot order ----
    virtual CPoint GetAirBladderPoint(MControl* control, UINT flags);
    virtual void OnMinimize();
    virtual void OnMaximize();
    virtual void InitUI(CRect clientRect);
    virtual void UISize(CRect clientRect);
    // A control notification (codes in tavri/control.h); 0 when not handled.
    virtual LRESULT OnMessage(UINT controlId, UINT code, UINT wParam, LPARAM lParam);
    // Message 1090: posts WM_CLOSE with the same parameters.
    virtual LRESULT OnUserCloseWindow(WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnCreate(CREATESTRUCT* cs);
    virtual LRESULT OnSize(UINT type, int cx, int cy);
    virtual LRESULT OnMouseMove(UINT flags, CPoint pt);
    virtual LRESULT OnMouseLeave();
    virtual LRESULT OnMouseHover(UINT flags, CPoint pt);
    virtual LRESULT OnMouseWheel(UINT flags, int delta, CPoint pt);
    virtual LRESULT OnLButtonDown(UINT flags, CPoint pt);
    virtual LRESULT OnLButtonUp(UINT flags, CPoint pt);
    virtual LRESULT OnLButtonDblClk(UINT flags, CPoint pt);
    virtual LRESULT OnRButtonDown(UINT flags, CPoint pt);
    virtual LRESULT OnRButtonUp(UINT flags, CPoint pt);
    virtual LRESULT OnRButtonDblClk(UINT flags, CPoint pt);
    virtual LRESULT OnKeyDown(UINT key, UINT repeat, UINT flags);
    virtual LRESULT OnNcHitTest(CPoint pt);
    virtual LRESULT OnGetMinMaxInfo(MINMAXINFO* info);
    virtual LRESULT OnNcCalcSize(BOOL calcValidRects, void* params);
    virtual LRESULT OnNcActivate(BOOL active);
    virtual LRESULT OnWindowPosChanging(WINDOWPOS* pos);
    virtual LRESULT OnWindowPosChanged(WINDOWPOS* pos);
    virtual LRESULT OnPaint();
    virtual LRESULT OnTimer(UINT id);
    virtual LRESULT OnNcPaint();
    // Nonzero (the default) lets the window be destroyed; 0 keeps it.
    virtual LRESULT OnClose();
    virtual LRESULT OnDestroy();
    // The last call on a destroyed window; the program may delete the object here.
    virtual void PostNcDestroy();

    // ---- controls ----
    MControl* CreateControl(const wchar_t* className, UINT id, CRect rect, const wchar_t* text = L"",
                            int visible = 1, int enabled = 1);
    MControl* CreateArea(const wchar_t* className, UINT id, CRect rect, const wchar_t* text = L"",
                         int visible = 1, int enabled = 1);
    MControl* GetControl(UINT id);
    void SetFocusControl(MControl* control);

    // ---- look ----
    int LoadBKImage(const CString& file);
    int LoadBKImage(UINT resourceId, const CString& type);
    void SetBackMode(enumBackMode mode, int corner);
    void SetLayeredWindow(int layered);
    void EnableWndDrag(int enable);
    // Constant alpha (255 = none) and colour key (0x00FFFFFF = none), applied
    // on the next size change.
    void SetWindowAlpha(BYTE alpha) { m_alpha = alpha; }
    void SetColorKey(COLORREF key) { m_colorKey = key; }
    void SetScrollResID(UINT h, UINT v);

    // ---- timers ----
    UINT SetMTimer(UINT periodMs);
    void KillMTimer(UINT id);

    // ---- closing: post message 1090 with IDOK, IDCANCEL, IDCANCEL, IDYES, IDNO ----
    void DoOK();
    void DoCancel();
    void DoClose();
    void DoYes();
    void DoNo();

    // ---- tooltip and overlay ----
    void SetTooltip(const CString& text, CRect rect);
    void ClearTooltip();
    // A message box in the middle of the window that fades after 3 s.
    void SetMessage(const CString& text);
    // A progress band at the bottom of the window.
    void SetProgress(int percent, const CString& text);

    PaintManager& GetPaintManager() { return m_paintManager; }
    CRect GetClientRectCached() const { return m_clientRect; }

protected:
    PaintManager m_paintManager;
    CRect m_clientRect;
    COLORREF m_colorKey = 0x00FFFFFF;
    BYTE m_alpha = 255;
};
