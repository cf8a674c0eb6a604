// The window's side of the control tree. Every toolkit window owns one
// PaintManager: the top-level area and control lists, input routing into the
// tree, window timers and the high-resolution tick, the skin image cache,
// private fonts, the message overlay, and painting the whole window into one
// 32-bit surface per paint.
//
// Sections: RKTimer (high-resolution timers) - ImgResInfo - PaintManager.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "tavri/control.h"
#include "tavri/messages.h"
#include "tavri/render.h"
#include "tavri/types.h"

class MWindow;
class MDialog;
class ToolTipWnd;

// ---- RKTimer ---------------------------------------------------------------
// Periodic high-resolution timers. A tick thread keeps the periods; each tick
// is handed to the UI thread, where OnMTimer runs, so a tick never runs at
// the same time as painting or input handling of the tree it walks.
class TAVRI_EXPORT RKTimer {
public:
    RKTimer();
    virtual ~RKTimer();
    RKTimer(const RKTimer&) = delete;
    RKTimer& operator=(const RKTimer&) = delete;

    // Starts a periodic timer; returns its id (never 0), 0 on failure.
    UINT SetTimer(UINT periodMs, const wchar_t* name = nullptr, UINT_PTR value = 0);
    BOOL KillTimer(UINT id);
    BOOL KillTimer(const wchar_t* name);
    void KillTimer();
    BOOL IsAppTimer(UINT id) const;
    BOOL GetTimerIsRun(UINT id) const;
    BOOL GetTimerIsRun(const wchar_t* name) const;
    static RKTimer* GetFSTimer(UINT id);

    virtual void OnMTimer(UINT id);
    // Runs after OnMTimer(id) for timers started with a name.
    virtual void OnMTimer(UINT id, const wchar_t* name);
    // The tick's hand-over on the UI thread: OnMTimer(id), then the named call.
    void DeliverTick(UINT id);

    // Accuracy asked of the platform; Linux timers need no resolution change.
    static UINT s_accuracy;
    static bool s_resolutionRaised;

private:
    struct Entry {
        UINT id;
        CString name;
        UINT_PTR value;
    };
    mutable std::mutex m_lock;
    std::vector<Entry> m_timers;
};

// ---- image cache -----------------------------------------------------------
struct TAVRI_EXPORT ImgResInfo {
    std::unique_ptr<Image> image;
    int frameWidth = 0;  // image width / frames
    int height = 0;
    int frames = 1;
    CString fileName;
    UINT resourceId = 0;
};

enum enumBackMode {
    BackModeOrigin = 0,     // the background image once at (0, 0), own size
    BackModeNineGrid = 1,   // nine-grid stretched over the client area
};

class TAVRI_EXPORT PaintManager : public RKTimer {
public:
    PaintManager();
    ~PaintManager() override;

    // Program folder + "skins\\" + theme, with a trailing backslash.
    static CString GetSkinFolder();

    // ---- binding ----
    void Init(HWND hwnd, MWindow* window);
    int IsInitialized() const { return m_initialized; }
    HWND GetPaintWnd() const { return m_hWnd; }
    MWindow* GetWindow() const { return m_window; }
    MDialog* GetMDialog() const;
    // The object that is the parent of the top-level controls.
    void SetRootObject(MObject* root) { m_root = root; }
    MObject* GetRootObject() const { return m_root; }

    // ---- background ----
    void SetBackColor(COLORREF body, COLORREF border);
    COLORREF GetBodyColor() const { return m_bodyColor; }
    COLORREF GetBorderColor() const { return m_borderColor; }
    int LoadBKImage(const CString& file);
    int LoadBKImage(UINT resourceId, const CString& type);
    Image* GetBKImage() const { return m_bkImage.get(); }
    void SetBackMode(enumBackMode mode, int corner);
    void SetLayeredWindow(int layered);
    int IsLayered() const { return m_layered; }
    void EnableWndDrag(int enable) { m_wndDrag = enable; }
    int IsWndDragEnabled() const { return m_wndDrag; }
    void SetCaptionRect(CRect rect) { m_captionRect = rect; }
    void SetWindowMaxSize(int cx, int cy) { m_maxSize = CSize(cx, cy); }
    void SetWindowMixSize(int cx, int cy) { m_minSize = CSize(cx, cy); }
    COLORREF GetDefaultEnabledColor() const { return m_disabledColor; }
    void SetDefaultEnabledColor(COLORREF color) { m_disabledColor = color; }
    void SetScrollResID(UINT h, UINT v) { m_scrollResH = h; m_scrollResV = v; }
    UINT GetScrollResIDH() const { return m_scrollResH; }
    UINT GetScrollResIDV() const { return m_scrollResV; }
    CString GetFontName() const { return m_fontName; }

    // ---- images and fonts ----
    // Cached by file name: the first load decides the frame count.
    ImgResInfo* AddImgResInfo(const wchar_t* file, int frames);
    ImgResInfo* AddImgResInfo(UINT resourceId, const CString& type, int frames, int fromApplication);
    void ClearImgResInfo();
    int ImageCacheSize() const;
    FontFamily* AddTempFont(const wchar_t* name, const wchar_t* file);
    FontFamily* AddTempFont(const wchar_t* name, UINT resourceId);
    int AddGDITempFont(UINT resourceId);
    // The family of the toolkit's default font name (the argument is not used):
    // a private one when loaded, else the installed family, else null.
    FontFamily* FindTempFont(const wchar_t* name);
    // The private family registered under exactly `name`, or null.
    FontFamily* GetPrivateFont(const CString& name);
    void ClearTempFont();
    // The family of the embedded toolkit font ("Open Sans Semibold").
    static const FontFamily* ToolkitFontFamily();

    // ---- window timers (per control) ----
    int SetTimer(MControl* control, UINT key, UINT elapseMs);
    int KillTimer(MControl* control, UINT key);
    void KillTimer(MControl* control);
    void ClearTimers();
    // The platform id of a control's timer, 0xFFFFFFFF when it has none.
    UINT GetTimerPlatformId(MControl* control, UINT key) const;

    // ---- high-resolution tick ----
    UINT SetMTimer(UINT periodMs);
    void KillMTimer(UINT id);
    void KillMTimer();
    void AddMTimer(MControl* control);
    void DeleteFSTimer(MControl* control);
    UINT GetMTimerId() const { return m_tickTimerId; }
    void OnMTimer(UINT id) override;
    using RKTimer::KillTimer;
    using RKTimer::SetTimer;

    // ---- the tree ----
    void SetFocusControl(MControl* control);
    MControl* GetFocusControl() const { return m_focus; }
    MControl* GetHoverControl() const { return m_hover; }
    MControl* GetPressedControl() const { return m_pressed; }
    MControl* GetNextFocusableControl();
    MControl* GetPrevFocusableControl();
    void SetTooltip(const CString& text, CRect rect);
    void ClearTooltip();
    CString GetTooltipText() const { return m_tooltipText; }
    UINT GetTooltipOwner() const { return m_tooltipOwner; }
    void SetTooltipOwner(UINT id) { m_tooltipOwner = id; }
    // Controls first (each with its subtree), then areas.
    MControl* GetControl(UINT id);
    // The top-level control the window's routing would pick for `pt`.
    MControl* FindControlAt(CPoint pt);
    void RemoveControl(MControl* control);
    void ClearAllControls();
    void ClearAreaControls();
    void ClearControls();
    std::vector<MControl*> GetControls() const;
    std::vector<MControl*> GetAreas() const;
    // Factory: kind 1 lists a control, 0 an area, anything else lists nothing.
    MControl* CreateControl(UINT kind, MObject* parent, const wchar_t* className, UINT id, CRect rect,
                            const wchar_t* text, int visible, int enabled);
    // Lists a control built without the factory.
    void AddControl(MControl* control);
    void AddArea(MControl* area);
    // Forget every pointer into a subtree that is leaving the tree.
    void ForgetSubtree(MControl* control);
    // A control being destroyed drops out of every pointer the window keeps.
    void OnControlDestroyed(MControl* control);
    // Destroys a control that has left its list; deferred to the end of the
    // window message being handled, so a control may remove itself from its
    // own handler.
    void DisposeControl(MControl* control);
    LRESULT OnControlUpdate(CRect rect, int redraw, MControl* control);

    // ---- window forwards ----
    void Invalidate();
    void InvalidateRect(CRect rect, int erase);
    void SetCapture();
    void ReleaseCapture();
    int IsCaptured() const { return m_captured; }
    ToolTipWnd* GetToolTipWnd() const { return m_tooltipWnd.get(); }
    CRect GetClientRect() const;
    CRect GetWindowRect() const;
    CSize GetClientSize() const;
    LRESULT SendMessageW(UINT msg, WPARAM wParam, LPARAM lParam);
    BOOL PostMessageW(UINT msg, WPARAM wParam, LPARAM lParam);

    // ---- message overlay ----
    void SetMessage(const CString& text, CRect rect);
    void SetProgress(int percent, const CString& text, CRect rect);
    int GetMessageAlpha() const { return m_msgAlpha; }
    int GetMessageProgress() const { return m_msgProgress; }
    int GetMessageTarget() const { return m_msgTarget; }
    CString GetMessageText() const { return m_msgText; }
    // Overlay timer ids: kept outside the range of control timer ids (0..239)
    // so that no control timer is taken for an overlay step.
    static constexpr UINT kTimerMessageHold = 6566;
    static constexpr UINT kTimerMessageFade = 6588;
    static constexpr UINT kTimerProgress = 6599;
    static constexpr UINT kTimerCaret = 6553;

    // ---- dispatch ----
    LRESULT OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    int PreTranslateMessage(MSG* msg);
    void OnDestroyMessage(HWND hwnd);
    void DestroyData();
    // Paints the update rectangle now (the paint message handler).
    LRESULT OnPaint();
    // Draws the window's content for `clip` into `surface` (steps 3 to 7 of a
    // paint); the benchmark and tests call it directly.
    void PaintInto(Image& surface, CRect clip);

private:
    struct TimerEntry {
        UINT key;
        UINT platformId;
        bool stopped;
        MControl* control;
    };
    void RouteMouse(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT RouteWheel(WPARAM wParam, LPARAM lParam);
    LRESULT RouteKey(UINT key);
    void OnTimerMessage(UINT id);
    void OnDeactivate();
    void DrawOverlay(Graphics& g);
    void StartOverlayTimer(UINT id, UINT elapse);
    void StopOverlayTimer(UINT id);
    void FlushGraveyard();
    void DisposeList(std::recursive_mutex& listLock, std::vector<MControl*>& controls);
    bool MoveFocusByTab(bool backwards);

    HWND m_hWnd = nullptr;
    MWindow* m_window = nullptr;
    MObject* m_root = nullptr;
    int m_initialized = 0;
    COLORREF m_bodyColor = 0x00130D09;
    COLORREF m_borderColor = 0x00555028;
    int m_layered = 0;
    std::unique_ptr<Image> m_bkImage;
    int m_bkWidth = 0;
    int m_bkHeight = 0;
    enumBackMode m_backMode = BackModeOrigin;
    int m_corner = 4;
    int m_wndDrag = 1;
    CRect m_captionRect;
    CSize m_minSize;
    CSize m_maxSize;
    COLORREF m_disabledColor = 0x00808080;
    UINT m_scrollResH = 101;
    UINT m_scrollResV = 102;
    CString m_fontName;

    std::vector<MControl*> m_areaList;
    std::vector<MControl*> m_controlList;
    mutable std::recursive_mutex m_areaLock;
    mutable std::recursive_mutex m_controlLock;

    MControl* m_hover = nullptr;
    MControl* m_focus = nullptr;
    MControl* m_pressed = nullptr;
    int m_captured = 0;
    int m_dblClkFlag = 0;
    int m_mouseTracking = 0;
    int m_dragArmed = 0;

    std::unique_ptr<ToolTipWnd> m_tooltipWnd;
    CString m_tooltipText;
    UINT m_tooltipOwner = 0xFFFFFFFF;

    std::vector<MControl*> m_tickList;
    mutable std::recursive_mutex m_tickLock;
    UINT m_tickTimerId = 0;

    std::vector<TimerEntry> m_timers;
    mutable std::recursive_mutex m_timerLock;
    UINT m_nextTimerId = 4096;

    std::map<CString, std::unique_ptr<ImgResInfo>> m_imagesByFile;
    std::map<UINT, std::unique_ptr<ImgResInfo>> m_imagesByAppRes;
    std::map<UINT, std::unique_ptr<ImgResInfo>> m_imagesByLibRes;
    mutable std::mutex m_imageLock;

    std::map<CString, std::unique_ptr<FontFamily>> m_fonts;
    mutable std::mutex m_fontLock;

    CString m_msgText;
    int m_msgAlpha = 0;
    int m_msgProgress = 0;
    int m_msgTarget = 0;
    CRect m_msgRect;

    int m_dispatchDepth = 0;
    std::vector<MControl*> m_graveyard;
};
