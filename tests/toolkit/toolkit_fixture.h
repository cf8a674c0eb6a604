// Shared pieces of the toolkit tests: the host started once per test
// program, a dialog whose parts each test fills in, a skinned test control,
// and helpers that drive windows through synthesised input.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "tavri/tavri.h"
#include "tavri/host_test.h"

namespace tktest {

struct Note {
    UINT id;
    UINT code;
    UINT wParam;
    LPARAM lParam;
};

// A push button with a four-state skin strip, or a flat colour without one.
// It records what reaches it.
class TestButton : public MControlFont {
public:
    TestButton(MObject* parent, UINT id, CRect rect, const wchar_t* text, int visible, int enabled);
    void DrawControl(HDC& hdc, CRect clip) override;
    int OnControlMouseMove(UINT flags, CPoint pt) override;
    int OnControlLButtonDown(UINT flags, CPoint pt) override;
    int OnControlLButtonUp(UINT flags, CPoint pt) override;
    int OnControlLButtonDblClk(UINT flags, CPoint pt) override;
    int OnControlRButtonDown(UINT flags, CPoint pt) override;
    int OnControlKeyDown(UINT key, UINT repeat, UINT modifier) override;
    int OnControlScroll(int kind, UINT direction, CPoint pt) override;
    int OnControlTimer() override;

    ARGB color = 0xFF808080;
    int state = 0;
    int downs = 0;
    int rdowns = 0;
    int ups = 0;
    int dbls = 0;
    int ticks = 0;
    int scrolls = 0;
    int draws = 0;
    int handleKeys = 1;
    int handleScroll = 1;
    UINT lastDirection = 9;
    UINT lastKey = 0;
    UINT lastModifier = 0;
    CPoint lastPoint{-9, -9};
    std::function<void()> onClick;  // runs on a press, from inside the routing
    std::function<void()> onTick;   // runs on each timer tick
};

// A scrolling container for tests: a panel with its bars.
class TestPanel : public MPanel {
public:
    TestPanel(MObject* parent, UINT id, CRect rect, int visible) : MPanel(parent, id, rect, visible) {}
    void InitControl(PaintManager* manager) override;
};

class TestDialog : public MDialog {
public:
    std::function<void(TestDialog&, CRect)> build;
    std::vector<Note> notes;
    std::vector<UINT> order;  // which hook saw a message first
    int closes = 0;
    int closeResult = 1;
    bool destroyed = false;

    // Steps run one after another from the dialog's own queue (so each runs
    // after the input the previous one synthesised has been handled), for
    // tests that need the window's own modal loop.
    std::vector<std::function<void()>> script;
    void RunScript();  // posts the first step
    // Called from a step: the next step runs `ms` later instead of at once.
    void Wait(int ms);
    // Called from a step: the same step runs again `ms` later.
    void Again(int ms);
    static constexpr UINT kStep = WM_APP + 1;
    static constexpr UINT kWaitTimer = 7777;
    bool waiting = false;
    bool repeat = false;
    std::size_t waitNext = 0;
    std::function<LRESULT(UINT, WPARAM, LPARAM)> onWindowMessage;

    void InitUI(CRect clientRect) override;
    LRESULT OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnMessage(UINT controlId, UINT code, UINT wParam, LPARAM lParam) override;
    LRESULT OnClose() override;
    LRESULT OnLButtonDown(UINT flags, CPoint pt) override;
    void PostNcDestroy() override { destroyed = true; }
    PaintManager& pm() { return m_paintManager; }

    template <class T>
    T* Make(const wchar_t* cls, UINT id, CRect r, const wchar_t* text = L"") {
        return dynamic_cast<T*>(CreateControl(cls, id, r, text, 1, 1));
    }
};

// The host for the whole test program.
class HostEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;
};

constexpr DWORD kPopup = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

HWND Open(MWindow& window, CRect rect, DWORD style = kPopup, DWORD exStyle = 0, HWND owner = nullptr);
void Pump(int ms = 30);
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 2000);
// Waits until the window has painted what was asked of it.
bool Painted(HWND hwnd);
// A whole click at client (x, y): move, press, release; never a double click.
void Click(HWND hwnd, int x, int y);
void Move(HWND hwnd, int x, int y);
// Key press and release.
void Key(HWND hwnd, UINT vk, int modifiers = 0);
// ARGB of the window's painted surface at (x, y).
ARGB PixelAt(HWND hwnd, int x, int y);
// Colour channels close to the expected ones (text and scaling blur edges).
bool Near(ARGB a, ARGB b, int tolerance = 8);

}  // namespace tktest
