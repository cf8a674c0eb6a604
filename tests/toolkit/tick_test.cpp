// The high-resolution tick: its thread keeps the period and the UI thread
// runs the listed controls.
#include <atomic>
#include <thread>

#include "toolkit_fixture.h"

using namespace tktest;

namespace {

class Recorder : public RKTimer {
public:
    std::vector<std::pair<UINT, CString>> calls;
    std::thread::id thread;
    void OnMTimer(UINT id) override {
        thread = std::this_thread::get_id();
        calls.emplace_back(id, CString());
    }
    void OnMTimer(UINT id, const wchar_t* name) override { calls.emplace_back(id, CString(name)); }
};

}  // namespace

TEST(Tick, ReachesListedRunningVisibleControlsOfADialog) {
    TestDialog dlg;
    TestButton *running = nullptr, *idle = nullptr, *hidden = nullptr, *inHiddenPanel = nullptr, *child = nullptr;
    dlg.build = [&](TestDialog& d, CRect) {
        running = d.Make<TestButton>(L"TestButton", 101, CRect(0, 0, 50, 50));
        idle = d.Make<TestButton>(L"TestButton", 102, CRect(60, 0, 110, 50));
        hidden = d.Make<TestButton>(L"TestButton", 103, CRect(120, 0, 170, 50));
        auto* panel = d.Make<TestPanel>(L"TestPanel", 104, CRect(0, 60, 200, 160));
        inHiddenPanel = dynamic_cast<TestButton*>(panel->CreateControl(L"TestButton", 105, CRect(0, 60, 50, 110)));
        // Children tick through their parent's OnTimer.
        child = new TestButton(running, 106, CRect(0, 0, 10, 10), L"", 1, 1);
        running->AddControl(child);
        for (MControl* c : {static_cast<MControl*>(running), static_cast<MControl*>(idle),
                            static_cast<MControl*>(hidden), static_cast<MControl*>(inHiddenPanel)})
            ASSERT_EQ(c->AddMTimer(), 1);
        running->SetRunTimer(1);
        child->SetRunTimer(1);
        hidden->SetRunTimer(1);
        inHiddenPanel->SetRunTimer(1);
        hidden->SetVisible(0);
        panel->SetVisible(0);
    };
    Open(dlg, CRect(100, 100, 400, 300));
    const UINT id = dlg.SetMTimer(10);
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(dlg.pm().GetTimerIsRun(id));
    ASSERT_TRUE(PumpUntil([&] { return running->ticks >= 5; }));
    EXPECT_GE(child->ticks, 5);
    EXPECT_EQ(idle->ticks, 0);
    EXPECT_EQ(hidden->ticks, 0);
    EXPECT_EQ(inHiddenPanel->ticks, 0);

    dlg.KillMTimer(id);
    EXPECT_FALSE(dlg.pm().GetTimerIsRun(id));
    Pump(30);
    const int ticks = running->ticks;
    Pump(60);
    EXPECT_EQ(running->ticks, ticks);
}

TEST(Tick, NamedTimersRunOnTheUiThreadAndStopByName) {
    Recorder timer;
    const UINT plain = timer.SetTimer(5);
    const UINT named = timer.SetTimer(7, L"spectrum", 3);
    ASSERT_NE(plain, 0u);
    ASSERT_NE(named, plain);
    EXPECT_EQ(RKTimer::GetFSTimer(named), &timer);
    EXPECT_TRUE(timer.IsAppTimer(named));
    ASSERT_TRUE(PumpUntil([&] { return timer.calls.size() >= 6; }));
    EXPECT_EQ(timer.thread, std::this_thread::get_id());
    bool namedCall = false;
    for (const auto& [id, name] : timer.calls)
        if (id == named && name == L"spectrum") namedCall = true;
    EXPECT_TRUE(namedCall);

    EXPECT_TRUE(timer.KillTimer(L"spectrum"));
    EXPECT_FALSE(timer.GetTimerIsRun(L"spectrum"));
    EXPECT_TRUE(timer.GetTimerIsRun(plain));
    timer.KillTimer();
    EXPECT_FALSE(timer.GetTimerIsRun(plain));
    Pump(20);
    const std::size_t calls = timer.calls.size();
    Pump(40);
    EXPECT_EQ(timer.calls.size(), calls);
}

TEST(Tick, AKilledTimerWithTicksInFlightIsNotCalled) {
    // Ticks already handed to the UI thread must not run once the timer is
    // gone (an owner's destructor kills its timers the same way).
    Recorder timer;
    for (int round = 0; round < 20; ++round) {
        const UINT id = timer.SetTimer(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        timer.KillTimer(id);
        Pump(5);
        for (const auto& call : timer.calls) ASSERT_NE(call.first, id);
        EXPECT_EQ(RKTimer::GetFSTimer(id), nullptr);
    }
}

TEST(Tick, WorkersPostWhileTheTickRuns) {
    TestDialog dlg;
    TestButton* b = nullptr;
    std::atomic<int> got{0};
    dlg.build = [&](TestDialog& d, CRect) {
        b = d.Make<TestButton>(L"TestButton", 101, CRect(0, 0, 50, 50));
        b->AddMTimer();
        b->SetRunTimer(1);
    };
    dlg.onWindowMessage = [&](UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg != WM_APP + 40) return 0;
        ++got;
        b->UpdateControl();  // repaint requests from the handler, with ticks going on
        return 1;
    };
    const HWND h = Open(dlg, CRect(100, 100, 300, 200));
    dlg.SetMTimer(2);
    // The workers start once the tick is under way, so the two overlap.
    ASSERT_TRUE(PumpUntil([&] { return b->ticks > 0; }));
    const int ticksBefore = b->ticks;
    std::vector<std::thread> workers;
    for (int t = 0; t < 3; ++t)
        workers.emplace_back([h] {
            for (int i = 0; i < 300; ++i) {
                PostMessageW(h, WM_APP + 40, 0, 0);
                if (i % 50 == 0) InvalidateRect(h, nullptr, 0);
            }
        });
    for (auto& w : workers) w.join();
    ASSERT_TRUE(PumpUntil([&] { return got.load() == 900; }, 5000));
    // The tick keeps going after the flood.
    EXPECT_TRUE(PumpUntil([&] { return b->ticks > ticksBefore; }));
}
