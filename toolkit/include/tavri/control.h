// The object model: MObject (anything that receives notifications), MControl
// (a windowless control in a window's tree) and MControlFont (a control with
// a title, a font and a skin image).
//
// A control is owned by exactly one list: a parent control's areas or
// controls, or a window's top-level lists kept by its PaintManager. Areas are
// drawn first and never receive input; controls are drawn after their parent
// and receive input. Later list entries paint over earlier ones and win hit
// tests. Notifications go to parent->OnBaseMessage(id, code, wParam, lParam).
//
// Notification codes (wParam / lParam are control specific):
//   1 left press            2 activation / commit      3 double click
//   5 right release on item 7 check toggled by key     8 thumb moving
//   9 tab pressed          14 key handled (key, modifier)
//  24 right release on picture  26 edit focus  27 palette colour
//  28 spin value  29 edit ended  30 edit started  31 edit clicked
#pragma once

#include <mutex>
#include <vector>

#include "tavri/render.h"
#include "tavri/types.h"

class PaintManager;
class MControl;

class TAVRI_EXPORT MObject {
public:
    virtual ~MObject();
    // 1 when GetClassNameW() equals `name` exactly.
    virtual int IsClass(const wchar_t* name);
    virtual const wchar_t* GetClassNameW();
    virtual const wchar_t* GetObjectClass();
    virtual const wchar_t* BaseObjectClassName();
    // A child control reports a notification.
    virtual LRESULT OnBaseMessage(UINT controlId, UINT message, UINT wParam, LPARAM lParam);
    // A child asks for `rect` to be repainted (its cache cleared when `redraw`).
    virtual LRESULT OnControlUpdate(CRect rect, int redraw, MControl* control);
};

// Modifier code of key dispatch: Alt 18, else Shift 16, else 0; Ctrl ORs in 17.
TAVRI_EXPORT UINT KeyModifierCode(bool shift, bool ctrl, bool alt);
// The same for the key state of the message being handled.
TAVRI_EXPORT UINT CurrentKeyModifierCode();

class TAVRI_EXPORT MControl : public MObject {
public:
    MControl(MObject* parent, UINT id, CRect rect, int visible, int enabled, int response);
    // Destroys the subtree (areas, then controls) and the off-screen surfaces.
    ~MControl() override;
    MControl(const MControl&) = delete;
    MControl& operator=(const MControl&) = delete;

    const wchar_t* GetClassNameW() override;  // "FSControl"

    // ---- virtual operations, in their slot order ----
    virtual void InitControl(PaintManager* manager);
    virtual int PtInRect(CPoint pt);
    virtual void DrawControl(HDC& hdc, CRect clip) = 0;
    virtual int DrawSubControls(HDC& hdc, CRect clip);
    virtual int IsDraw(CPoint pt);
    virtual void SetUpdate(int update, COLORREF background);
    virtual int SetControlFocus(int focus);
    virtual void InitUI(CRect rect);
    // Containers move the point into content coordinates (scrolling).
    virtual int OnMousePointChange(CPoint& pt);
    virtual int OnCheckMouseResponse(UINT flags, CPoint pt);
    // Raw window message offered before the window handles it; nonzero consumes it.
    virtual LRESULT OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnMessage(UINT id, UINT msg, UINT wParam, LPARAM lParam);
    virtual void SetControlRect(CRect rect);
    virtual void SetControlVisible(int visible);
    virtual void SetControlWndVisible(int visible);
    virtual void SetControlEnabled(int enabled);
    virtual int OnControlTimer();
    virtual HBITMAP GetControlDropBitmap();
    virtual int OnControlMouseMove(UINT flags, CPoint pt);
    virtual int OnControlSetCursor(UINT flags, CPoint pt);
    virtual int OnControlLButtonDown(UINT flags, CPoint pt);
    virtual int OnControlLButtonUp(UINT flags, CPoint pt);
    virtual int OnControlLButtonDblClk(UINT flags, CPoint pt);
    // kind 1 = wheel; direction 1 = towards the user (delta <= 0), 0 = away.
    virtual int OnControlScroll(int kind, UINT direction, CPoint pt);
    virtual int OnControlRButtonDown(UINT flags, CPoint pt);
    virtual int OnControlRButtonUp(UINT flags, CPoint pt);
    virtual int OnControlRButtonDblClk(UINT flags, CPoint pt);
    virtual int OnControlKeyDown(UINT key, UINT repeat, UINT modifier);
    virtual void OnPositionChange();
    virtual void InvalidateRect(const RECT* rect, int erase);

    // ---- plain accessors ----
    MObject* GetParantObject() const { return m_parent; }
    void SetParent(MObject* parent) { m_parent = parent; }
    PaintManager* GetManager() const { return m_manager; }
    void SetManager(PaintManager* manager);  // also for the whole subtree
    UINT GetControlID() const { return m_id; }
    CRect GetRect() const { return m_rect; }
    int IsVisible() const { return m_visible; }
    int IsEnabled() const { return m_enabled; }
    int IsDragDrop() const { return m_dragDrop; }
    void SetDragDrop(int on) { m_dragDrop = on; }
    int GetRresponse() const { return m_response; }
    void SetRresponse(int on) { m_response = on; }
    int IsTabStop() const { return m_tabStop; }
    void SetTabStop(int on) { m_tabStop = on; }
    int GetDblClk() const { return m_dblClk; }
    void SetDblClk(int on) { m_dblClk = on; }
    int IsPressedInside() const { return m_pressedInside; }
    int IsKeyDown() const { return m_keyDown; }
    int IsFocused() const { return m_focused; }
    void SetHotKey(int key, int modifier) { m_hotKey = key; m_hotKeyModifier = modifier; }
    int GetUpdate() const { return m_update; }
    int IsRunTimer() const { return m_runTimer; }
    void SetRunTimer(int on) { m_runTimer = on; }
    int UseImageECM() const { return m_imageECM; }
    void SetTrackLeave(int on) { m_trackLeave = on; }
    int IsMouseOutside() const { return m_mouseOutside; }
    void SetNotifyDblClk(int on) { m_notifyDblClk = on; }
    void SetNotifyKey(int on) { m_notifyKey = on; }
    MControl* GetHotChild() const { return m_hotChild; }
    const CString& GetTooltip() const { return m_tooltip; }
    HCURSOR GetCursor() const { return m_cursor; }

    // ---- public operations ----
    // Moves the control; when visible the union of old and new is repainted.
    void SetRect(CRect rect);
    void SetRect(int x, int y, int cx, int cy);
    // Hiding repaints the area the control occupied.
    void SetVisible(int visible);
    void SetVisible(int visible, int repaint);
    void SetEnabled(int enabled);
    void UpdateControl(int redraw = 1, int force = 0);
    void UpdateControl(CRect rect, int force, int redraw);
    void UpdateAControl(int full, int force);
    // Reports a notification to the parent.
    LRESULT SendMessageW(UINT msg, WPARAM wParam, LPARAM lParam);
    void SetTooltip(const wchar_t* text);
    void SetTooltip(const CString& text) { SetTooltip(text.c_str()); }
    void ClearTooltip();
    // "arrow", "wait", "cross", "sizewe", "sizens", "hand", "help"; 0 for others.
    int SetCursorEx(const wchar_t* name);
    // Joins the window's high-resolution tick list.
    int AddMTimer();
    // Window timer for this control (PaintManager::SetTimer).
    int SetTimer(UINT key, UINT elapseMs);
    int KillTimer(UINT key);
    // Depth first: each child of controls (itself, then its subtree), then the areas.
    MControl* GetControl(UINT id);
    void RemoveControl(MControl* control);
    void RemoveAllControl();
    // 1 when the parent chain reaches an "MDialog" with every control on the way visible.
    int IsParentVisible();
    int IsFocusControl();
    MControl* GetNextFocusableControl();
    MControl* GetPrevFocusableControl();
    MControl* GetFocusControl();
    void Draw(HDC& hdc, CRect clip);
    // The cached drawing: UpdateMemDC marks it valid and (re)creates the surface
    // when the size changed.
    void UpdateMemDC(HDC& hdc, int cx, int cy);
    void UpdateAnimateDC(HDC& hdc, int cx, int cy);
    Image& GetMemBitmap() { return m_memBitmap; }
    // For controls with a cache: the window content below the control into
    // the cache (so the background shows through), and the cache onto the
    // window at the control's rect.
    void CopyWindowToMem(HDC& hdc);
    void DrawMemToWindow(HDC& hdc);
    Image& GetAnimateBitmap() { return m_animBitmap; }

    // Children. Adding takes ownership; the factory uses these.
    void AddControl(MControl* control);
    void AddArea(MControl* area);
    std::vector<MControl*> GetControls() const;
    std::vector<MControl*> GetAreas() const;
    // Takes a child out of either list without destroying it.
    bool DetachChild(MControl* child);

    // ---- tree dispatchers ----
    int OnMouseMove(UINT flags, CPoint pt);
    int OnLButtonDown(UINT flags, CPoint pt);
    int OnLButtonUp(UINT flags, CPoint pt);
    int OnLButtonDblClk(UINT flags, CPoint pt);
    int OnRButtonDown(UINT flags, CPoint pt);
    int OnRButtonUp(UINT flags, CPoint pt);
    int OnRButtonDblClk(UINT flags, CPoint pt);
    int OnScroll(int kind, UINT direction, CPoint pt);
    int OnKeyDown(UINT key, UINT repeat, UINT modifier);
    int OnKeyUp(UINT key, UINT repeat, UINT modifier);
    int OnTimer();

    // The control and every control below it.
    void CollectSubtree(std::vector<MControl*>& out);
    // Drops hot-child pointers into controls that leave the tree.
    void ForgetDescendants(const std::vector<MControl*>& gone);

protected:
    // The point a child receives: scroll bars (ids 1 and 2) the untranslated one.
    static CPoint ChildPoint(const MControl* child, CPoint raw, CPoint translated);
    int ButtonDown(bool left, UINT flags, CPoint pt);
    int ButtonUp(bool left, UINT flags, CPoint pt);
    int ButtonDblClk(bool left, UINT flags, CPoint pt);

    MObject* m_parent = nullptr;
    PaintManager* m_manager = nullptr;
    UINT m_id = 0;
    CRect m_rect;
    int m_visible = 1;
    int m_enabled = 1;
    int m_dragDrop = 0;
    int m_response = 1;
    int m_tabStop = 0;
    int m_dblClk = 0;
    int m_pressedInside = 0;
    int m_keyDown = 0;
    int m_focused = 0;
    int m_hotKey = 0;
    int m_hotKeyModifier = 0;
    int m_update = 0;
    int m_animateDirty = 0;
    int m_runTimer = 0;
    int m_imageECM = 0;
    std::vector<MControl*> m_areas;
    std::vector<MControl*> m_controls;
    mutable std::recursive_mutex m_areasLock;
    mutable std::recursive_mutex m_controlsLock;
    MControl* m_hotChild = nullptr;
    CSize m_memSize;
    Image m_memBitmap;
    CSize m_animSize;
    Image m_animBitmap;
    CString m_tooltip;
    HCURSOR m_cursor = nullptr;
    int m_trackLeave = 0;
    int m_notifyDblClk = 0;
    int m_notifyKey = 0;
    int m_mouseOutside = 1;
};

struct ImgResInfo;

class TAVRI_EXPORT MControlFont : public MControl {
public:
    MControlFont(MObject* parent, UINT id, CRect rect, const wchar_t* title, int visible, int enabled,
                 int response);
    ~MControlFont() override;

    // ---- virtual operations added here, in their slot order ----
    virtual void SetTextFont(CString name);
    virtual void SetTextColor(ARGB color);
    // From the window's image cache; 1 on success, 0 (nothing changed) without
    // a manager or when the image does not load.
    virtual int SetImage(UINT resourceId, CString resourceType, int count);
    virtual int SetImage(const wchar_t* fileName, int count);
    virtual void SetControlTitle(const wchar_t* title);
    virtual CString GetControlTitle();

    void SetTitle(const wchar_t* title);
    void SetTitle(const CString& title) { SetTitle(title.c_str()); }
    CString GetTitle() { return GetControlTitle(); }
    void SetAlignment(int h);
    void SetVAlignment(int v);
    void SetAlignment(int h, int v);
    void GetAlignment(int* h, int* v) const;
    void SetFont(const CString& name, int size, int style);
    void SetFontStyle(int style);
    int GetFontStyle() const { return m_fontStyle; }
    void SetFontWidth(int size);
    int GetFontWidth() const { return m_fontSize; }
    void SetTextRenderingHint(int hint) { m_renderingHint = hint; }
    int GetTextRenderingHint() const { return m_renderingHint; }
    ARGB GetTextColor() const { return m_textColor; }
    CString GetFontName() const { return m_fontName; }
    // The window's private font family of that name, or null.
    FontFamily* GetFontFamily(const CString& name);
    // The font controls draw their text with: the private family of the
    // control's font name when the window has one, else the installed font.
    Font GetTextFontObject();
    // The Windows-style font: the toolkit's default face at the control's
    // size, weight +700 when bold, italic and underline from the style.
    HFONT GetGDIFont();
    void ClearGDIFont();
    CString GetImagePath() const { return m_imagePath; }
    CSize GetImageSize() const { return CSize(m_imageWidth, m_imageHeight); }
    void SetImageCount(int count) { m_imageCount = count; }
    int GetImageCount() const { return m_imageCount; }
    Image* GetImage() const { return m_image; }
    const ImgResInfo* GetImageInfo() const { return m_imageInfo; }
    // Frame width of the skin image (width / count).
    int GetImageFrameWidth() const;

protected:
    // Takes the cached image as the control's skin and repaints; 1, or 0 for no image.
    int AdoptImage(const ImgResInfo* info, int count, const wchar_t* path);

    CString m_title;
    CString m_fontName;
    int m_fontSize = 14;
    ARGB m_textColor = 0xFFFFFFFF;
    int m_fontStyle = 0;
    FontFamily* m_fontFamily = nullptr;
    int m_hAlign = 0;
    int m_vAlign = 4;
    int m_renderingHint = 5;
    Font* m_gdiFont = nullptr;
    Image* m_image = nullptr;
    const ImgResInfo* m_imageInfo = nullptr;
    int m_imageWidth = 0;
    int m_imageHeight = 0;
    int m_imageCount = 4;
    CString m_imagePath;
};
