#include "toolkit_fixture.h"

#include <cstdlib>
#include <string>

#include "tests/support/test_support.h"

namespace tktest {

TAVRI_REGISTER_CONTROL(TestButton, "TestButton", kFactoryBoth,
                       new TestButton(parent, id, rect, text, visible, enabled))
TAVRI_REGISTER_CONTROL(TestPanel, "TestPanel", kFactoryBoth, new TestPanel(parent, id, rect, visible))

TestButton::TestButton(MObject* parent, UINT id, CRect rect, const wchar_t* text, int visible, int enabled)
    : MControlFont(parent, id, rect, text, visible, enabled, 1) {}

void TestButton::DrawControl(HDC& hdc, CRect) {
    ++draws;
    Graphics& g = *hdc;
    if (m_imageInfo) {
        const int frame = !m_enabled ? 3 : state;
        MRender::DrawImageFrame(g, m_imageInfo, m_rect, frame, 4);
    } else {
        g.FillRect(m_rect, color);
    }
    if (!m_title.empty()) g.DrawString(m_title, GetTextFontObject(), m_rect, StringFormat(1, 4), m_textColor);
}

int TestButton::OnControlMouseMove(UINT, CPoint pt) {
    const int inside = m_rect.PtInRect(pt) ? 1 : 0;
    const int next = m_pressedInside ? 2 : inside;
    if (next != state) {
        state = next;
        UpdateControl();
    }
    return inside;
}

int TestButton::OnControlLButtonDown(UINT, CPoint pt) {
    ++downs;
    lastPoint = pt;
    state = 2;
    UpdateControl();
    SendMessageW(1, 0, 0);
    if (onClick) onClick();
    return 1;
}

int TestButton::OnControlLButtonUp(UINT, CPoint pt) {
    ++ups;
    lastPoint = pt;
    const bool inside = m_rect.PtInRect(pt);
    state = inside ? 1 : 0;
    UpdateControl();
    if (inside) SendMessageW(2, 0, 0);
    return 1;
}

int TestButton::OnControlLButtonDblClk(UINT, CPoint pt) {
    ++dbls;
    lastPoint = pt;
    return 1;
}

int TestButton::OnControlRButtonDown(UINT, CPoint pt) {
    ++rdowns;
    lastPoint = pt;
    return 1;
}

int TestButton::OnControlKeyDown(UINT key, UINT, UINT modifier) {
    lastKey = key;
    lastModifier = modifier;
    return handleKeys;
}

int TestButton::OnControlScroll(int, UINT direction, CPoint) {
    ++scrolls;
    lastDirection = direction;
    return handleScroll;
}

int TestButton::OnControlTimer() {
    ++ticks;
    if (onTick) onTick();
    return 1;
}

void TestPanel::InitControl(PaintManager* manager) {
    MPanel::InitControl(manager);
    InitScrollBar();
}

void TestDialog::InitUI(CRect clientRect) {
    if (build) build(*this, clientRect);
}

void TestDialog::RunScript() { PostMessageW(kStep, 0, 0); }

void TestDialog::Wait(int ms) {
    waiting = true;
    SetTimer(kWaitTimer, static_cast<UINT>(ms));
}

void TestDialog::Again(int ms) {
    Wait(ms);
    repeat = true;
}

LRESULT TestDialog::OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kStep) {
        const std::size_t i = wParam;
        const HWND self = m_hWnd;
        waiting = false;
        repeat = false;
        if (i < script.size()) script[i]();
        if (!::IsWindow(self)) return 0;
        if (waiting) waitNext = repeat ? i : i + 1;
        else if (i + 1 < script.size()) ::PostMessageW(self, kStep, i + 1, 0);
        return 0;
    }
    if (msg == WM_TIMER && wParam == kWaitTimer) {
        KillTimer(kWaitTimer);
        PostMessageW(kStep, waitNext, 0);
        return 0;
    }
    if (onWindowMessage) {
        if (const LRESULT r = onWindowMessage(msg, wParam, lParam)) return r;
    }
    return MDialog::OnWindowMessage(msg, wParam, lParam);
}

LRESULT TestDialog::OnMessage(UINT controlId, UINT code, UINT wParam, LPARAM lParam) {
    notes.push_back(Note{controlId, code, wParam, lParam});
    return 1;
}

LRESULT TestDialog::OnClose() {
    ++closes;
    return closeResult;
}

LRESULT TestDialog::OnLButtonDown(UINT, CPoint) {
    order.push_back(1);
    return 0;
}

void HostEnvironment::SetUp() {
    // ctest sets the platform; these defaults also let the program run alone.
    const std::string runtime = testsupport::RuntimeDir();
    const std::string screen = testsupport::SourceDir() + "/tests/toolkit/offscreen.json";
    setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screen).c_str(), 0);
    setenv("KEYLOOM_PROGRAM_DIR", runtime.c_str(), 0);
    static testsupport::TempDir runtimeDir;
    setenv("XDG_RUNTIME_DIR", runtimeDir.path().c_str(), 0);
    static int argc = 1;
    static char name[] = "toolkit_tests";
    static char* argv[] = {name, nullptr};
    ASSERT_TRUE(HostInitialize(argc, argv)) << "the tests need QT_QPA_PLATFORM=offscreen";
}

void HostEnvironment::TearDown() { HostShutdown(); }

namespace {
[[maybe_unused]] ::testing::Environment* const g_host = ::testing::AddGlobalTestEnvironment(new HostEnvironment);
}

HWND Open(MWindow& window, CRect rect, DWORD style, DWORD exStyle, HWND owner) {
    HWND hwnd = window.Create(owner, L"Test Window", style, exStyle, rect);
    Pump(10);
    return hwnd;
}

void Pump(int ms) { HostTestPump(ms); }

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) { return HostTestPumpUntil(done, timeoutMs); }

bool Painted(HWND hwnd) {
    return PumpUntil([hwnd] { return HostTestPaintCount(hwnd) > 0 && !HostTestPaintPending(hwnd); });
}

void Move(HWND hwnd, int x, int y) {
    HostTestMouse(hwnd, TestMouse::Move, x, y);
    Pump(5);
}

void Click(HWND hwnd, int x, int y) {
    HostTestForgetClicks();
    HostTestMouse(hwnd, TestMouse::Move, x, y);
    HostTestMouse(hwnd, TestMouse::LeftDown, x, y);
    HostTestMouse(hwnd, TestMouse::LeftUp, x, y);
    Pump(10);
}

void Key(HWND hwnd, UINT vk, int modifiers) {
    HostTestKey(hwnd, vk, true, modifiers);
    HostTestKey(hwnd, vk, false, modifiers);
    Pump(10);
}

ARGB PixelAt(HWND hwnd, int x, int y) { return HostTestSurface(hwnd).GetPixel(x, y); }

bool Near(ARGB a, ARGB b, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8) {
        const int ca = static_cast<int>((a >> shift) & 0xFF);
        const int cb = static_cast<int>((b >> shift) & 0xFF);
        if (std::abs(ca - cb) > tolerance) return false;
    }
    return true;
}

}  // namespace tktest
