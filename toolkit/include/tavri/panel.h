// Containers: MPanel, the scrolling container that page containers, lists and
// the keyboard view derive from, and its scroll bars MScroll,
// CScrollVertical (child id 1) and CScrollHorizontal (child id 2).
//
// Content children keep rects in unscrolled window coordinates; the panel
// shifts them by the scroll offsets when drawing and moves mouse points into
// content coordinates (OnMousePointChange). The scroll bars take untranslated
// points and are drawn on top, unshifted.
#pragma once

#include "tavri/control.h"

class MScroll;

class TAVRI_EXPORT MPanel : public MControlFont {
public:
    MPanel(MObject* parent, UINT id, CRect rect, int visible);
    ~MPanel() override;

    // ---- factory at panel level, in their slot order ----
    virtual MControl* CreateArea(const wchar_t* className, UINT id, CRect rect, const wchar_t* text, int visible,
                                 int enabled);
    virtual MControl* CreateControl(UINT kind, MObject* parent, const wchar_t* className, UINT id, CRect rect,
                                    const wchar_t* text, int visible, int enabled);
    virtual MControl* CreateControl(const wchar_t* className, UINT id, CRect rect, const wchar_t* text = L"",
                                    int visible = 1, int enabled = 1);

    // ---- container behaviour ----
    // Child notifications go on to the panel's parent unchanged; the panel's
    // own scroll bars move the content instead.
    LRESULT OnBaseMessage(UINT controlId, UINT message, UINT wParam, LPARAM lParam) override;
    LRESULT OnControlUpdate(CRect rect, int redraw, MControl* control) override;
    int OnMousePointChange(CPoint& pt) override;
    void DrawControl(HDC& hdc, CRect clip) override;
    int DrawSubControls(HDC& hdc, CRect clip) override;
    int OnControlScroll(int kind, UINT direction, CPoint pt) override;
    void SetControlRect(CRect rect) override;

    // ---- scrolling ----
    // Creates the two bars (hidden until there is something to scroll).
    void InitScrollBar();
    MScroll* GetVScroll() const { return m_vScroll; }
    MScroll* GetHScroll() const { return m_hScroll; }
    // Height and width of the content; a bar shows when its content exceeds the view.
    void SetContentSize(int width, int height);
    CSize GetContentSize() const { return m_contentSize; }
    void SetScrollOffset(int x, int y);
    int GetScrollX() const { return m_scrollX; }
    int GetScrollY() const { return m_scrollY; }
    // The visible part of the panel, without the bars.
    CRect GetViewRect() const;
    // Pixels per wheel step (each notch moves 10 steps).
    void SetScrollStep(int step);

protected:
    void LayoutScrollBars();

    MScroll* m_vScroll = nullptr;
    MScroll* m_hScroll = nullptr;
    CSize m_contentSize;
    int m_scrollX = 0;
    int m_scrollY = 0;
};

class TAVRI_EXPORT MScroll : public MControlFont {
public:
    MScroll(MObject* parent, UINT id, CRect rect, int visible, bool vertical);
    ~MScroll() override;

    void InitControl(PaintManager* manager) override;
    void DrawControl(HDC& hdc, CRect clip) override;
    int OnControlMouseMove(UINT flags, CPoint pt) override;
    int OnControlLButtonDown(UINT flags, CPoint pt) override;
    int OnControlLButtonUp(UINT flags, CPoint pt) override;
    int OnControlScroll(int kind, UINT direction, CPoint pt) override;

    bool IsVertical() const { return m_vertical; }
    // Positions run from 0 to range; page is the visible length.
    void SetScrollRange(int range, int page);
    int GetScrollRange() const { return m_range; }
    int GetPage() const { return m_page; }
    // Clamped to [0, range]; 1 when the position changed.
    int SetScrollPos(int pos, int notify = 0);
    int GetScrollPos() const { return m_pos; }
    void SetStep(int step) { m_step = step > 0 ? step : 1; }
    int GetStep() const { return m_step; }
    CRect GetThumbRect() const;
    int IsDragging() const { return m_dragging; }

private:
    bool m_vertical;
    int m_range = 0;
    int m_page = 0;
    int m_pos = 0;
    int m_step = 3;
    int m_dragging = 0;
    int m_dragOffset = 0;
    int m_hot = 0;
    const ImgResInfo* m_art = nullptr;
};

class TAVRI_EXPORT CScrollVertical : public MScroll {
public:
    CScrollVertical(MObject* parent, UINT id, CRect rect, int visible);
};

class TAVRI_EXPORT CScrollHorizontal : public MScroll {
public:
    CScrollHorizontal(MObject* parent, UINT id, CRect rect, int visible);
};
