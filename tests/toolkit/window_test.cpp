// Windows and dialogs: creation, modal results, quit, centring, the live
// window list, translucency, and messages from other threads.
#include <atomic>
#include <thread>

#include "toolkit_fixture.h"

using namespace tktest;

namespace {

constexpr UINT kPing = WM_APP + 20;
constexpr UINT kAsk = WM_APP + 21;

struct Results {
    int initUiCalls = 0;
    CRect initUiRect;
};

}  // namespace

TEST(Dialog, CreateRunsInitUiOnceWithTheClientRect) {
    TestDialog dlg;
    Results r;
    dlg.build = [&](TestDialog&, CRect rect) {
        ++r.initUiCalls;
        r.initUiRect = rect;
    };
    const HWND h = Open(dlg, CRect(100, 100, 420, 340), WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_THICKFRAME);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(dlg.Create(nullptr, L"Again", kPopup, 0, CRect(0, 0, 10, 10)), h);  // the existing window
    EXPECT_EQ(r.initUiCalls, 1);
    EXPECT_EQ(r.initUiRect, CRect(0, 0, 320, 240));
    EXPECT_EQ(GetClassNameW(h), CString(L"TavriClient"));
    EXPECT_EQ(GetWindowTextW(h), CString(L"Test Window"));
    // Creation strips caption and frame and adds the clip styles.
    EXPECT_EQ(dlg.GetStyle() & (WS_CAPTION | WS_THICKFRAME), 0u);
    EXPECT_EQ(dlg.GetStyle() & (WS_CLIPSIBLINGS | WS_CLIPCHILDREN | 0x8), WS_CLIPSIBLINGS | WS_CLIPCHILDREN | 0x8);

    const auto live = Manager::GetWnds();
    EXPECT_EQ(live.count(h), 1u);
    EXPECT_EQ(FindWindowW(L"TavriClient", L"Test Window"), h);
    dlg.DestroyWindow();
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(Manager::GetWnds().count(h), 0u);
    EXPECT_TRUE(dlg.destroyed);
    EXPECT_EQ(dlg.GetSafeHwnd(), nullptr);
}

TEST(Dialog, ModalResultComesFromTheCloseRequest) {
    struct Case {
        void (MDialog::*close)();
        UINT result;
    };
    const Case cases[] = {{&MDialog::DoOK, 1}, {&MDialog::DoCancel, 2}, {&MDialog::DoClose, 2},
                          {&MDialog::DoYes, 6}, {&MDialog::DoNo, 7}};
    for (const Case& c : cases) {
        TestDialog owner;
        const HWND ownerHwnd = Open(owner, CRect(0, 0, 400, 300));
        TestDialog dlg;
        ASSERT_NE(dlg.Create(ownerHwnd, L"Modal", WS_POPUP, 0, CRect(50, 50, 250, 200)), nullptr);
        bool ownerDisabled = false;
        dlg.script = {[&] {
            ownerDisabled = !IsWindowEnabled(ownerHwnd);
            (dlg.*c.close)();
        }};
        dlg.RunScript();
        EXPECT_EQ(dlg.ShowModal(SW_SHOW), c.result);
        EXPECT_TRUE(ownerDisabled);
        EXPECT_TRUE(IsWindowEnabled(ownerHwnd));
        EXPECT_EQ(dlg.GetSafeHwnd(), nullptr);
    }
}

TEST(Dialog, PlatformCloseButtonGivesZero) {
    TestDialog dlg;
    const HWND h = dlg.Create(nullptr, L"Modal", WS_POPUP, 0, CRect(50, 50, 250, 200));
    dlg.script = {[&] { HostTestCloseButton(h); }};
    dlg.RunScript();
    EXPECT_EQ(dlg.ShowModal(SW_SHOW), 0u);
    EXPECT_EQ(dlg.closes, 1);
    EXPECT_FALSE(IsWindow(h));

    TestDialog none;
    EXPECT_EQ(none.ShowModal(SW_SHOW), 0xFFFFFFFFu);
}

TEST(Dialog, CloseTurnedDownKeepsTheWindow) {
    TestDialog dlg;
    dlg.closeResult = 0;
    const HWND h = Open(dlg, CRect(50, 50, 250, 200));
    PostMessageW(h, WM_CLOSE, 0, 0);
    Pump(20);
    EXPECT_EQ(dlg.closes, 1);
    EXPECT_TRUE(IsWindow(h));
}

TEST(Dialog, QuitInsideTheModalLoopReachesTheOuterLoop) {
    TestDialog dlg;
    const HWND h = dlg.Create(nullptr, L"Modal", WS_POPUP, 0, CRect(50, 50, 250, 200));
    dlg.script = {[] { PostQuitMessage(42); }};
    dlg.RunScript();
    EXPECT_EQ(dlg.ShowModal(SW_SHOW), 0u);
    EXPECT_TRUE(IsWindow(h));  // the loop ended, the window did not
    MSG msg;
    bool quit = false;
    while (!quit && GetMessageW(&msg)) DispatchMessageW(&msg);
    quit = msg.message == WM_QUIT;
    EXPECT_TRUE(quit);
    EXPECT_EQ(msg.wParam, 42u);
}

TEST(Dialog, AltF4NeverReachesAWindowOfTheToolkitLoop) {
    // Under the toolkit's loop the key is dropped; the window's own default
    // handling (a modal loop of its own) would close it.
    for (const bool toolkitLoop : {true, false}) {
        TestDialog dlg;
        const HWND h = Open(dlg, CRect(50, 50, 250, 200));
        HostTestKey(h, VK_MENU, true, kTestAlt);
        HostTestKey(h, VK_F4, true, kTestAlt);
        HostTestKey(h, VK_F4, false, kTestAlt);
        HostTestKey(h, VK_MENU, false, 0);
        if (toolkitLoop) {
            PostQuitMessage(0);
            EXPECT_EQ(Manager::MessageLoop(), 0);
            EXPECT_EQ(dlg.closes, 0);
            EXPECT_TRUE(IsWindow(h));
        } else {
            dlg.script = {[&] { if (IsWindow(h)) dlg.DoOK(); }};
            dlg.RunScript();
            dlg.ShowModal(SW_SHOW);
            EXPECT_EQ(dlg.closes, 1);
            EXPECT_FALSE(IsWindow(h));
        }
    }
}

TEST(Dialog, CenterWindowStaysInsideTheWorkArea) {
    struct Case {
        CRect owner;
        bool minimised;
        CPoint expected;
    };
    // Screen 1920 x 1080; the dialog is 400 x 300.
    const Case cases[] = {
        {CRect(100, 100, 900, 700), false, CPoint(300, 250)},    // centred on the owner
        {CRect(100, 100, 900, 700), true, CPoint(760, 390)},     // on the work area
        {CRect(1700, 900, 1900, 1000), false, CPoint(1520, 780)},  // right and bottom clamped
        {CRect(-300, -200, -100, -100), false, CPoint(0, 0)},    // left and top clamped
    };
    for (const Case& c : cases) {
        TestDialog owner;
        const HWND ownerHwnd = Open(owner, c.owner);
        if (c.minimised) ShowWindow(ownerHwnd, SW_MINIMIZE);
        EXPECT_EQ(IsIconic(ownerHwnd) != 0, c.minimised);
        TestDialog dlg;
        dlg.Create(ownerHwnd, L"Centred", WS_POPUP, 0, CRect(0, 0, 400, 300));
        dlg.CenterWindow();
        CRect r;
        dlg.GetWindowRect(&r);
        EXPECT_EQ(r.TopLeft(), c.expected) << "owner " << c.owner.left << "," << c.owner.top;
        EXPECT_EQ(r.Size(), CSize(400, 300));
    }
}

TEST(Dialog, OnSizeMakesATranslucentDialogLayered) {
    TestDialog dlg;
    const HWND h = Open(dlg, CRect(50, 50, 250, 200));
    EXPECT_EQ(dlg.GetExStyle() & WS_EX_LAYERED, 0u);
    dlg.SetWindowAlpha(200);
    dlg.MoveWindow(50, 50, 300, 220);
    EXPECT_EQ(dlg.GetExStyle() & WS_EX_LAYERED, WS_EX_LAYERED);
    EXPECT_EQ(dlg.GetClientRectCached(), CRect(0, 0, 300, 220));
    EXPECT_TRUE(IsWindow(h));
}

TEST(Messages, PostedFromManyThreadsArriveInOrderPerThread) {
    TestDialog dlg;
    constexpr int kThreads = 4;
    constexpr int kEach = 200;
    std::vector<std::vector<int>> seen(kThreads);
    dlg.onWindowMessage = [&](UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        if (msg != kPing) return 0;
        seen[static_cast<std::size_t>(w)].push_back(static_cast<int>(l));
        return 1;
    };
    const HWND h = Open(dlg, CRect(50, 50, 250, 200));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([h, t] {
            for (int i = 0; i < kEach; ++i) PostMessageW(h, kPing, static_cast<WPARAM>(t), i);
        });
    for (auto& t : threads) t.join();
    ASSERT_TRUE(PumpUntil([&] {
        for (const auto& s : seen)
            if (s.size() != kEach) return false;
        return true;
    }));
    for (const auto& s : seen)
        for (int i = 0; i < kEach; ++i) ASSERT_EQ(s[static_cast<std::size_t>(i)], i);
    EXPECT_FALSE(PostMessageW(reinterpret_cast<HWND>(0x5), kPing, 0, 0));
}

TEST(Messages, SendFromAnotherThreadWaitsForTheUiThread) {
    TestDialog dlg;
    std::thread::id handledOn;
    dlg.onWindowMessage = [&](UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        if (msg != kAsk) return 0;
        handledOn = std::this_thread::get_id();
        return static_cast<LRESULT>(w + static_cast<WPARAM>(l));
    };
    const HWND h = Open(dlg, CRect(50, 50, 250, 200));
    std::atomic<LRESULT> answer{-1};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        answer = SendMessageW(h, kAsk, 40, 2);
        done = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(answer.load(), 42);
    EXPECT_EQ(handledOn, std::this_thread::get_id());
    // On the UI thread the procedure runs at once.
    EXPECT_EQ(SendMessageW(h, kAsk, 1, 2), 3);

    // A window that goes away while a sender waits releases it with 0.
    std::atomic<bool> sent{false};
    std::atomic<LRESULT> late{-1};
    std::thread slow([&] {
        sent = true;
        late = SendMessageW(h, kAsk, 5, 5);
    });
    while (!sent) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    dlg.DestroyWindow();
    ASSERT_TRUE(PumpUntil([&] { return late.load() != -1; }));
    slow.join();
    EXPECT_EQ(late.load(), 0);
}

TEST(Messages, RepaintRequestsFromAnotherThreadPaintOnTheUiThread) {
    TestDialog dlg;
    const HWND h = Open(dlg, CRect(50, 50, 250, 200));
    ASSERT_TRUE(Painted(h));
    const int paints = HostTestPaintCount(h);
    std::thread([h] {
        const CRect r(10, 10, 20, 20);
        InvalidateRect(h, &r, 0);
    }).join();
    ASSERT_TRUE(PumpUntil([&] { return HostTestPaintCount(h) > paints; }));
    EXPECT_EQ(HostTestLastPaintRect(h), CRect(10, 10, 20, 20));
}
