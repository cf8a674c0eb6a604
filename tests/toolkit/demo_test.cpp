// A small dialog built the way the program builds its pages: every control
// by class name, a page container holding the buttons, a meter that the
// high-resolution tick fills, a window timer that unlocks the answer, and a
// click that ends the modal loop with a result.
#include "toolkit_fixture.h"

using namespace tktest;

namespace {

constexpr UINT kPage = 10;
constexpr UINT kStart = 11;
constexpr UINT kYes = 12;
constexpr UINT kMeter = 13;
constexpr UINT kCancel = 20;
constexpr int kFull = 10;

constexpr ARGB kMeterEmpty = 0xFF202020;
constexpr ARGB kMeterFill = 0xFF00B4FF;
// The frames of test_button.png: normal and disabled.
constexpr ARGB kSkinNormal = 0xFF3C5A78;
constexpr ARGB kSkinDisabled = 0xFF5A5A5A;

// Fills one step per tick while it runs and reports code 2 when full.
class DemoMeter : public MControl {
public:
    DemoMeter(MObject* parent, UINT id, CRect rect, int visible) : MControl(parent, id, rect, visible, 1, 1) {}
    void DrawControl(HDC& hdc, CRect) override {
        Graphics& g = *hdc;
        g.FillRect(m_rect, kMeterEmpty);
        CRect fill = m_rect;
        fill.right = fill.left + m_rect.Width() * level / kFull;
        g.FillRect(fill, kMeterFill);
    }
    int OnControlTimer() override {
        if (level >= kFull) return 0;
        ++level;
        UpdateControl();
        if (level == kFull) {
            SetRunTimer(0);
            SendMessageW(2, static_cast<WPARAM>(level), 0);
        }
        return 1;
    }
    int level = 0;
};
TAVRI_REGISTER_CONTROL(DemoMeter, "DemoMeter", kFactoryBoth, new DemoMeter(parent, id, rect, visible))

class DemoDialog : public TestDialog {
public:
    void InitUI(CRect client) override {
        auto* page = dynamic_cast<MPanel*>(CreateControl(L"TestPanel", kPage, CRect(10, 10, 290, 150)));
        start = dynamic_cast<TestButton*>(page->CreateControl(L"TestButton", kStart, CRect(20, 20, 120, 50), L"Start"));
        yes = dynamic_cast<TestButton*>(
            page->CreateControl(L"TestButton", kYes, CRect(140, 20, 240, 50), L"Yes", 1, 0));
        meter = dynamic_cast<DemoMeter*>(page->CreateControl(L"DemoMeter", kMeter, CRect(20, 80, 220, 100)));
        cancel = dynamic_cast<TestButton*>(CreateControl(L"TestButton", kCancel, CRect(190, 160, 290, 190), L"Cancel"));
        start->SetImage(L"test_button.png", 4);
        yes->SetImage(L"test_button.png", 4);
        meter->AddMTimer();
        built = client;
    }

    LRESULT OnMessage(UINT id, UINT code, UINT wParam, LPARAM lParam) override {
        TestDialog::OnMessage(id, code, wParam, lParam);
        if (code != 2) return 0;
        switch (id) {
        case kStart:
            meter->SetRunTimer(1);
            tick = SetMTimer(10);
            break;
        case kMeter:
            // Full: the tick stops and, a little later, the answer unlocks.
            KillMTimer(tick);
            yes->onTick = [this] {
                yes->KillTimer(1);
                yes->SetEnabled(1);
            };
            yes->SetTimer(1, 40);
            break;
        case kYes:
            DoYes();
            break;
        case kCancel:
            DoCancel();
            break;
        default:
            break;
        }
        return 1;
    }

    TestButton* start = nullptr;
    TestButton* yes = nullptr;
    TestButton* cancel = nullptr;
    DemoMeter* meter = nullptr;
    UINT tick = 0;
    CRect built;
};

// A click queued for the modal loop to handle (a step must not pump itself).
void Press(HWND h, int x, int y) {
    HostTestForgetClicks();
    HostTestMouse(h, TestMouse::Move, x, y);
    HostTestMouse(h, TestMouse::LeftDown, x, y);
    HostTestMouse(h, TestMouse::LeftUp, x, y);
}

}  // namespace

TEST(Demo, DialogBuiltByClassNamesRunsToItsResult) {
    DemoDialog dlg;
    const HWND h = dlg.Create(nullptr, L"Demo", WS_POPUP, 0, CRect(200, 200, 500, 400));
    ASSERT_NE(h, nullptr);
    ASSERT_NE(dlg.meter, nullptr);
    EXPECT_EQ(dlg.built, CRect(0, 0, 300, 200));
    EXPECT_EQ(dlg.GetControl(kMeter), dlg.meter);

    struct Seen {
        ARGB startSkin = 0, yesSkin = 0, meterBefore = 0, meterAfter = 0, yesSkinAfter = 0;
        bool closedEarly = false;
        int polls = 0;
    } seen;
    auto pollUntil = [&](std::function<bool()> done) {
        return [&dlg, &seen, done] {
            if (!done() && ++seen.polls < 400) dlg.Again(10);
        };
    };
    dlg.script = {
        pollUntil([h] { return HostTestPaintCount(h) > 0 && !HostTestPaintPending(h); }),
        [&] {
            seen.startSkin = PixelAt(h, 28, 46);
            seen.yesSkin = PixelAt(h, 148, 46);
            seen.meterBefore = PixelAt(h, 120, 90);
            Press(h, 190, 35);  // the answer is still locked
        },
        [&] { Press(h, 70, 35); },
        pollUntil([&] { return dlg.yes->IsEnabled() != 0; }),
        pollUntil([h] { return !HostTestPaintPending(h); }),
        [&] {
            seen.meterAfter = PixelAt(h, 215, 90);
            seen.yesSkinAfter = PixelAt(h, 148, 46);
            seen.closedEarly = !IsWindow(h);
            Press(h, 190, 35);
        },
    };
    dlg.RunScript();
    EXPECT_EQ(dlg.ShowModal(SW_SHOW), static_cast<UINT>(IDYES));

    EXPECT_TRUE(Near(seen.startSkin, kSkinNormal)) << std::hex << seen.startSkin;
    EXPECT_TRUE(Near(seen.yesSkin, kSkinDisabled)) << std::hex << seen.yesSkin;
    EXPECT_TRUE(Near(seen.meterBefore, kMeterEmpty)) << std::hex << seen.meterBefore;
    EXPECT_TRUE(Near(seen.meterAfter, kMeterFill)) << std::hex << seen.meterAfter;
    EXPECT_TRUE(Near(seen.yesSkinAfter, kSkinNormal)) << std::hex << seen.yesSkinAfter;
    EXPECT_FALSE(seen.closedEarly);

    // Every notification came up through the page to the dialog with the
    // sender's own id; the locked answer sent nothing.
    std::vector<std::pair<UINT, UINT>> notes;
    for (const Note& n : dlg.notes) notes.emplace_back(n.id, n.code);
    const std::vector<std::pair<UINT, UINT>> expected = {
        {kStart, 1}, {kStart, 2}, {kMeter, 2}, {kYes, 1}, {kYes, 2}};
    EXPECT_EQ(notes, expected);
    EXPECT_EQ(dlg.notes[2].wParam, static_cast<UINT>(kFull));
    EXPECT_FALSE(IsWindow(h));
    EXPECT_TRUE(dlg.destroyed);
}
