// The control tree: factory, hit-testing and routing, focus, keys, wheel,
// repaint requests, tooltips and cursors, driven through real windows.
#include "toolkit_fixture.h"

using namespace tktest;

namespace {

// A class only the window level may create.
class WindowOnlyBox : public MControl {
public:
    WindowOnlyBox(MObject* parent, UINT id, CRect rect, int visible) : MControl(parent, id, rect, visible, 1, 1) {}
    void DrawControl(HDC&, CRect) override {}
};
TAVRI_REGISTER_CONTROL(WindowOnlyBox, "WindowOnlyBox", kFactoryWindow, new WindowOnlyBox(parent, id, rect, visible))

constexpr ARGB kRed = 0xFFC80000;
constexpr ARGB kBlue = 0xFF0000C8;
constexpr ARGB kGreen = 0xFF00C800;
// The default body colour 0x00130D09 drawn with alpha 254.
constexpr ARGB kBody = 0xFE090D13;

TestButton* Button(TestDialog& d, UINT id, CRect r, ARGB color = 0xFF808080) {
    auto* b = d.Make<TestButton>(L"TestButton", id, r);
    if (b) b->color = color;
    return b;
}

}  // namespace

TEST(Factory, CreatesRegisteredClassesAtTheirLevelsOnly) {
    TestDialog dlg;
    const HWND h = Open(dlg, CRect(100, 100, 500, 400));
    ASSERT_NE(h, nullptr);
    PaintManager& pm = dlg.pm();

    EXPECT_EQ(dlg.CreateControl(L"NoSuchControl", 10, CRect(0, 0, 10, 10)), nullptr);
    EXPECT_EQ(dlg.CreateControl(L"", 10, CRect(0, 0, 10, 10)), nullptr);
    EXPECT_EQ(dlg.CreateControl(nullptr, 10, CRect(0, 0, 10, 10)), nullptr);
    EXPECT_TRUE(pm.GetControls().empty());

    MControl* control = dlg.CreateControl(L"TestButton", 11, CRect(0, 0, 10, 10));
    MControl* area = dlg.CreateArea(L"TestButton", 12, CRect(0, 0, 10, 10));
    ASSERT_NE(control, nullptr);
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(control->GetManager(), &pm);
    EXPECT_EQ(control->GetParantObject(), static_cast<MObject*>(&dlg));
    EXPECT_EQ(pm.GetControls(), std::vector<MControl*>{control});
    EXPECT_EQ(pm.GetAreas(), std::vector<MControl*>{area});

    // Any other kind builds the object and lists it nowhere.
    MControl* loose = pm.CreateControl(7, &dlg, L"TestButton", 13, CRect(), L"", 1, 1);
    ASSERT_NE(loose, nullptr);
    EXPECT_EQ(pm.GetControls().size(), 1u);
    delete loose;

    auto* panel = dlg.Make<TestPanel>(L"TestPanel", 20, CRect(0, 0, 200, 200));
    ASSERT_NE(panel, nullptr);
    MControl* child = panel->CreateControl(L"TestButton", 21, CRect(0, 0, 10, 10));
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->GetParantObject(), static_cast<MObject*>(panel));
    EXPECT_EQ(child->GetManager(), &pm);
    EXPECT_EQ(panel->CreateControl(L"WindowOnlyBox", 22, CRect()), nullptr);
    EXPECT_NE(dlg.CreateControl(L"WindowOnlyBox", 23, CRect()), nullptr);

    // Library classes register themselves.
    MControl* item = dlg.CreateControl(L"MenuItem", 24, CRect(), L"Item");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->IsClass(L"MenuItem"), 1);
    EXPECT_EQ(control->IsClass(L"FSControl"), 1);
    EXPECT_EQ(control->IsClass(L"fscontrol"), 0);
    EXPECT_EQ(dlg.IsClass(L"MDialog"), 1);
}

TEST(Routing, LaterOverlappingSiblingPaintsOnTopAndTakesTheClick) {
    TestDialog dlg;
    TestButton* a = nullptr;
    TestButton* b = nullptr;
    dlg.build = [&](TestDialog& d, CRect) {
        a = Button(d, 101, CRect(10, 10, 110, 110), kRed);
        b = Button(d, 102, CRect(60, 60, 160, 160), kBlue);
    };
    const HWND h = Open(dlg, CRect(100, 100, 400, 300));
    b->onClick = [&] { dlg.order.push_back(2); };
    ASSERT_TRUE(Painted(h));
    EXPECT_TRUE(Near(PixelAt(h, 30, 30), kRed));
    EXPECT_TRUE(Near(PixelAt(h, 85, 85), kBlue));
    EXPECT_TRUE(Near(PixelAt(h, 150, 150), kBlue));

    Click(h, 85, 85);
    EXPECT_EQ(a->downs, 0);
    EXPECT_EQ(b->downs, 1);
    ASSERT_EQ(dlg.notes.size(), 2u);
    EXPECT_EQ(dlg.notes[0].id, 102u);
    EXPECT_EQ(dlg.notes[0].code, 1u);
    EXPECT_EQ(dlg.notes[1].code, 2u);
    // The dialog's own handler sees the press before the tree does.
    EXPECT_EQ(dlg.order, (std::vector<UINT>{1, 2}));
}

TEST(Routing, EmptyBackgroundDragsTheWindowUnlessDisabled) {
    TestDialog dlg;
    TestButton* b = nullptr;
    dlg.build = [&](TestDialog& d, CRect) { b = Button(d, 101, CRect(10, 10, 60, 60)); };
    const HWND h = Open(dlg, CRect(200, 200, 600, 500));
    CRect before;
    GetWindowRect(h, &before);

    // A press on a control is the control's.
    Click(h, 30, 30);
    EXPECT_EQ(HostTestSystemMoveCount(h), 0);

    HostTestForgetClicks();
    Move(h, 100, 50);
    HostTestMouse(h, TestMouse::LeftDown, 100, 50);
    Pump(10);
    EXPECT_EQ(HostTestSystemMoveCount(h), 1);
    HostTestMouse(h, TestMouse::Move, 150, 90);
    Pump(10);
    HostTestMouse(h, TestMouse::LeftUp, 150, 90);
    Pump(10);
    CRect after;
    GetWindowRect(h, &after);
    EXPECT_EQ(after.left, before.left + 50);
    EXPECT_EQ(after.top, before.top + 40);

    dlg.EnableWndDrag(0);
    HostTestForgetClicks();
    Click(h, 100, 50);
    EXPECT_EQ(HostTestSystemMoveCount(h), 1);
    EXPECT_EQ(b->downs, 1);
}

TEST(Routing, HidingRepaintsTheOldAreaAndDisabledWindowsTakeNoInput) {
    TestDialog dlg;
    TestButton* b = nullptr;
    dlg.build = [&](TestDialog& d, CRect) { b = Button(d, 101, CRect(20, 20, 80, 80), kGreen); };
    const HWND h = Open(dlg, CRect(100, 100, 300, 300));
    ASSERT_TRUE(Painted(h));
    ASSERT_TRUE(Near(PixelAt(h, 50, 50), kGreen));

    const int paints = HostTestPaintCount(h);
    b->SetVisible(0);
    ASSERT_TRUE(PumpUntil([&] { return HostTestPaintCount(h) > paints && !HostTestPaintPending(h); }));
    EXPECT_TRUE(Near(PixelAt(h, 50, 50), kBody));
    EXPECT_EQ(HostTestLastPaintRect(h), CRect(20, 20, 80, 80));

    // A change to a hidden control asks for no repaint.
    b->SetEnabled(0);
    EXPECT_FALSE(HostTestPaintPending(h));

    b->SetVisible(1);
    b->SetEnabled(1);
    Pump(30);
    EnableWindow(h, 0);
    Click(h, 50, 50);
    EXPECT_EQ(b->downs, 0);
    EnableWindow(h, 1);
    Click(h, 50, 50);
    EXPECT_EQ(b->downs, 1);
}

TEST(Routing, RepaintCoversLaterOverlappingSiblingsOnly) {
    TestDialog dlg;
    TestButton *a = nullptr, *b = nullptr, *c = nullptr;
    dlg.build = [&](TestDialog& d, CRect) {
        a = Button(d, 101, CRect(10, 10, 60, 60));
        b = Button(d, 102, CRect(40, 40, 100, 100));
        c = Button(d, 103, CRect(200, 200, 250, 250));
    };
    const HWND h = Open(dlg, CRect(100, 100, 400, 400));
    ASSERT_TRUE(Painted(h));
    Pump(30);
    const int paints = HostTestPaintCount(h);
    const int drawsC = c->draws;
    b->SetUpdate(1, 0);
    a->UpdateControl();
    EXPECT_EQ(b->GetUpdate(), 0);  // its cache is cleared as well
    ASSERT_TRUE(PumpUntil([&] { return HostTestPaintCount(h) > paints && !HostTestPaintPending(h); }));
    EXPECT_EQ(HostTestLastPaintRect(h), CRect(10, 10, 100, 100));
    EXPECT_EQ(c->draws, drawsC);
}

TEST(Routing, PanelScrollBarsGetUntranslatedPoints) {
    TestDialog dlg;
    TestPanel* panel = nullptr;
    TestButton* inner = nullptr;
    dlg.build = [&](TestDialog& d, CRect) {
        panel = d.Make<TestPanel>(L"TestPanel", 20, CRect(0, 0, 200, 200));
        inner = dynamic_cast<TestButton*>(panel->CreateControl(L"TestButton", 50, CRect(0, 300, 100, 340)));
    };
    const HWND h = Open(dlg, CRect(100, 100, 400, 400));
    ASSERT_NE(inner, nullptr);
    panel->SetContentSize(180, 600);
    MScroll* bar = panel->GetVScroll();
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(bar->IsVisible());
    EXPECT_EQ(bar->GetControlID(), 1u);
    EXPECT_EQ(bar->GetScrollRange(), 400);

    panel->SetScrollOffset(0, 300);
    Click(h, 50, 20);
    EXPECT_EQ(inner->downs, 1);
    EXPECT_EQ(inner->lastPoint, CPoint(50, 320));

    // The bar sits at the panel's right edge in window coordinates; only an
    // untranslated point lands on its thumb.
    const CRect thumb = bar->GetThumbRect();
    const CPoint grip = thumb.CenterPoint();
    HostTestForgetClicks();
    Move(h, grip.x, grip.y);
    HostTestMouse(h, TestMouse::LeftDown, grip.x, grip.y);
    Pump(10);
    EXPECT_EQ(bar->IsDragging(), 1);
    HostTestMouse(h, TestMouse::Move, grip.x, grip.y - 40);
    Pump(10);
    HostTestMouse(h, TestMouse::LeftUp, grip.x, grip.y - 40);
    Pump(10);
    EXPECT_LT(panel->GetScrollY(), 300);
    EXPECT_EQ(panel->GetScrollY(), bar->GetScrollPos());

    // A notch over the panel moves ten steps of the bar.
    const int y = panel->GetScrollY();
    Move(h, 150, 150);
    HostTestWheel(h, -120, 150, 150);
    Pump(10);
    EXPECT_EQ(panel->GetScrollY(), y + 10 * bar->GetStep());
}

TEST(Routing, WheelDeltaBecomesWholeNotches) {
    struct Case {
        int delta;
        int notches;
        UINT direction;
    };
    const Case cases[] = {{240, 2, 0}, {-240, 2, 1}, {60, 0, 9}, {-119, 0, 9}, {-120, 1, 1}, {360, 3, 0}};
    for (const Case& c : cases) {
        TestDialog dlg;
        TestButton* b = nullptr;
        dlg.build = [&](TestDialog& d, CRect) { b = Button(d, 101, CRect(0, 0, 100, 100)); };
        const HWND h = Open(dlg, CRect(100, 100, 300, 300));
        Move(h, 50, 50);
        HostTestWheel(h, c.delta, 50, 50);
        Pump(10);
        EXPECT_EQ(b->scrolls, c.notches) << "delta " << c.delta;
        EXPECT_EQ(b->lastDirection, c.direction) << "delta " << c.delta;
    }
}

TEST(Routing, KeysCarryTheModifierCode) {
    struct Case {
        int modifiers;
        UINT code;
    };
    const Case cases[] = {{0, 0},
                          {kTestShift, 16},
                          {kTestCtrl, 17},
                          {kTestAlt, 18},
                          {kTestCtrl | kTestShift, 17},
                          {kTestCtrl | kTestAlt, 19}};
    TestDialog dlg;
    TestButton* b = nullptr;
    dlg.build = [&](TestDialog& d, CRect) { b = Button(d, 101, CRect(0, 0, 100, 100)); };
    const HWND h = Open(dlg, CRect(100, 100, 300, 300));
    Move(h, 50, 50);
    for (const Case& c : cases) {
        b->lastKey = 0;
        b->lastModifier = 99;
        Key(h, 'K', c.modifiers);
        EXPECT_EQ(b->lastKey, static_cast<UINT>('K')) << "modifiers " << c.modifiers;
        EXPECT_EQ(b->lastModifier, c.code) << "modifiers " << c.modifiers;
        EXPECT_EQ(KeyModifierCode(c.modifiers & kTestShift, c.modifiers & kTestCtrl, c.modifiers & kTestAlt), c.code);
    }
}

TEST(Routing, KeysFollowTheFocusChainAndReportWhenAsked) {
    TestDialog dlg;
    TestPanel* panel = nullptr;
    TestButton *first = nullptr, *second = nullptr;
    dlg.build = [&](TestDialog& d, CRect) {
        panel = d.Make<TestPanel>(L"TestPanel", 20, CRect(0, 0, 200, 200));
        first = dynamic_cast<TestButton*>(panel->CreateControl(L"TestButton", 21, CRect(0, 0, 50, 50)));
        second = dynamic_cast<TestButton*>(panel->CreateControl(L"TestButton", 22, CRect(100, 0, 150, 50)));
    };
    const HWND h = Open(dlg, CRect(100, 100, 400, 400));
    second->SetNotifyKey(1);
    Click(h, 120, 20);  // focuses the second button
    EXPECT_EQ(dlg.pm().GetFocusControl(), second);
    EXPECT_EQ(second->IsFocused(), 1);
    dlg.notes.clear();
    Move(h, 20, 120);  // over the panel, not over a button
    Key(h, 'Q');
    EXPECT_EQ(second->lastKey, static_cast<UINT>('Q'));
    EXPECT_EQ(first->lastKey, 0u);
    ASSERT_EQ(dlg.notes.size(), 1u);
    EXPECT_EQ(dlg.notes[0].id, 22u);
    EXPECT_EQ(dlg.notes[0].code, 14u);
    EXPECT_EQ(dlg.notes[0].wParam, static_cast<UINT>('Q'));
    EXPECT_EQ(dlg.notes[0].lParam, 0);
}

TEST(Routing, DoubleClicksReachOnlyControlsThatAskForThem) {
    for (const int wantsDouble : {0, 1}) {
        TestDialog dlg;
        TestButton* b = nullptr;
        dlg.build = [&](TestDialog& d, CRect) { b = Button(d, 101, CRect(0, 0, 100, 100)); };
        const HWND h = Open(dlg, CRect(100, 100, 300, 300));
        b->SetDblClk(wantsDouble);
        b->SetNotifyDblClk(1);
        HostTestForgetClicks();
        Move(h, 40, 40);
        for (int i = 0; i < 2; ++i) {
            HostTestMouse(h, TestMouse::LeftDown, 40, 40);
            HostTestMouse(h, TestMouse::LeftUp, 40, 40);
        }
        Pump(10);
        EXPECT_EQ(b->downs, wantsDouble ? 1 : 2);
        EXPECT_EQ(b->dbls, wantsDouble ? 1 : 0);
        const bool notified = std::any_of(dlg.notes.begin(), dlg.notes.end(), [](const Note& n) { return n.code == 3; });
        EXPECT_EQ(notified, wantsDouble == 1);
    }
}

TEST(Tree, GetControlSearchesNestedControlsBeforeAreas) {
    TestDialog dlg;
    MControl *nested = nullptr, *area = nullptr;
    dlg.build = [&](TestDialog& d, CRect) {
        area = d.CreateArea(L"TestButton", 30, CRect(0, 0, 10, 10));
        auto* panel = d.Make<TestPanel>(L"TestPanel", 20, CRect(0, 0, 200, 200));
        auto* page = dynamic_cast<TestPanel*>(panel->CreateControl(L"TestPanel", 21, CRect(0, 0, 100, 100)));
        nested = page->CreateControl(L"TestButton", 30, CRect(0, 0, 10, 10));
    };
    Open(dlg, CRect(100, 100, 300, 300));
    ASSERT_NE(nested, nullptr);
    EXPECT_EQ(dlg.GetControl(30), nested);
    EXPECT_NE(dlg.GetControl(30), area);
    EXPECT_EQ(dlg.GetControl(21)->GetControl(30), nested);
    EXPECT_EQ(dlg.GetControl(999), nullptr);
}

TEST(Tree, IsParentVisibleNeedsADialogAndVisibleContainers) {
    TestDialog dlg;
    TestPanel* panel = nullptr;
    MControl* inner = nullptr;
    dlg.build = [&](TestDialog& d, CRect) {
        panel = d.Make<TestPanel>(L"TestPanel", 20, CRect(0, 0, 200, 200));
        inner = panel->CreateControl(L"TestButton", 21, CRect(0, 0, 10, 10));
    };
    const HWND h = Open(dlg, CRect(100, 100, 300, 300));
    EXPECT_EQ(inner->IsParentVisible(), 1);
    panel->SetVisible(0);
    EXPECT_EQ(inner->IsParentVisible(), 0);

    MenuWnd menu(nullptr);
    menu.AddMenu(L"Item", 601, CString());
    ASSERT_EQ(menu.Create(h, CPoint(120, 120), WM_APP + 9), 1);
    MControl* item = menu.GetControl(601);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->IsParentVisible(), 0);
    menu.DestroyWindow();
}

TEST(Tree, AControlCanRemoveItselfFromItsOwnHandler) {
    TestDialog dlg;
    TestButton* b = nullptr;
    dlg.build = [&](TestDialog& d, CRect) {
        b = Button(d, 101, CRect(0, 0, 100, 100));
        b->onClick = [&d, b] { d.pm().RemoveControl(b); };
    };
    const HWND h = Open(dlg, CRect(100, 100, 300, 300));
    Click(h, 50, 50);
    EXPECT_EQ(dlg.GetControl(101), nullptr);
    EXPECT_EQ(dlg.pm().GetHoverControl(), nullptr);
    EXPECT_EQ(dlg.pm().GetFocusControl(), nullptr);
    Click(h, 50, 50);  // nothing left to route to
    EXPECT_TRUE(IsWindow(h));
}

TEST(Tree, TabMovesFocusAmongTabStopsInTheModalLoop) {
    TestDialog dlg;
    TestButton *a = nullptr, *b = nullptr, *c = nullptr, *d = nullptr;
    dlg.build = [&](TestDialog& dd, CRect) {
        a = Button(dd, 101, CRect(0, 0, 20, 20));
        b = Button(dd, 102, CRect(30, 0, 50, 20));
        c = Button(dd, 103, CRect(60, 0, 80, 20));
        d = Button(dd, 104, CRect(90, 0, 110, 20));
        a->SetTabStop(1);
        b->SetTabStop(1);
        d->SetTabStop(1);
        d->SetEnabled(0);
    };
    const HWND h = dlg.Create(nullptr, L"Tabs", WS_POPUP, 0, CRect(100, 100, 300, 300));
    std::vector<MControl*> seen;
    auto tab = [&](int mods) {
        return [&, mods] { HostTestKey(h, VK_TAB, true, mods); HostTestKey(h, VK_TAB, false, mods); };
    };
    auto note = [&] { seen.push_back(dlg.pm().GetFocusControl()); };
    int cFocused = -1;
    dlg.script = {tab(0), note, tab(0), note, tab(0), note, tab(kTestShift), note, [&] {
                      cFocused = c->IsFocused();  // the controls go with the window
                      dlg.DoOK();
                  }};
    dlg.RunScript();
    EXPECT_EQ(dlg.ShowModal(SW_SHOW), IDOK);
    const std::vector<MControl*> expected = {a, b, a, b};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(cFocused, 0);
}

TEST(Tree, TooltipAndCursorFollowTheMouse) {
    TestDialog dlg;
    TestButton* b = nullptr;
    dlg.build = [&](TestDialog& d, CRect) {
        b = Button(d, 101, CRect(0, 0, 100, 100));
        b->SetTooltip(L"Hello there");
        EXPECT_EQ(b->SetCursorEx(L"hand"), 1);
        EXPECT_EQ(b->SetCursorEx(L"banana"), 0);
    };
    const HWND h = dlg.Create(nullptr, L"Tips", WS_POPUP, 0, CRect(100, 100, 400, 400));
    CString textOver, textAway;
    UINT cursorOver = 0, cursorAway = 0;
    bool shownAfterRest = false, shownAway = true;
    HWND tip = nullptr;
    // The tip relays need the dialog's own loop (its pre-translation).
    dlg.script = {
        // The tip window exists from the first move on; the later ones reach it.
        [&] { HostTestMouse(h, TestMouse::Move, 47, 47); },
        [&] { HostTestMouse(h, TestMouse::Move, 49, 49); },
        [&] { HostTestMouse(h, TestMouse::Move, 51, 51); },
        [&] {
            textOver = dlg.pm().GetTooltipText();
            cursorOver = HostTestCursor(h);
            dlg.Wait(900);
        },
        [&] {
            tip = FindWindowW(L"TavriToolTip", nullptr);
            shownAfterRest = tip && IsWindowVisible(tip);
            HostTestMouse(h, TestMouse::Move, 200, 200);
        },
        [&] {
            textAway = dlg.pm().GetTooltipText();
            cursorAway = HostTestCursor(h);
            shownAway = tip && IsWindowVisible(tip);
            dlg.DoOK();
        },
    };
    dlg.RunScript();
    EXPECT_EQ(dlg.ShowModal(SW_SHOW), IDOK);
    EXPECT_EQ(textOver, CString(L"Hello there"));
    EXPECT_EQ(cursorOver, IDC_HAND);
    EXPECT_TRUE(shownAfterRest);
    EXPECT_TRUE(textAway.empty());
    EXPECT_EQ(cursorAway, IDC_ARROW);
    EXPECT_FALSE(shownAway);
}

TEST(Routing, DeactivationReleasesTheHeldButtonAndDropsHover) {
    TestDialog other;
    const HWND o = Open(other, CRect(600, 100, 800, 300));
    for (const bool held : {true, false}) {
        TestDialog dlg;
        TestButton* b = nullptr;
        dlg.build = [&](TestDialog& d, CRect) { b = Button(d, 101, CRect(0, 0, 100, 100)); };
        // A new place each round: the platform drops a move to where the
        // pointer already is.
        const int x = held ? 100 : 130;
        const HWND h = Open(dlg, CRect(x, 100, x + 200, 300));
        HostTestActivate(h);
        ASSERT_TRUE(PumpUntil([&] { return GetActiveWindow() == h; }));
        HostTestForgetClicks();
        Move(h, 50, 50);
        ASSERT_EQ(dlg.pm().GetHoverControl(), b);
        ASSERT_EQ(b->state, 1);
        if (held) {
            HostTestMouse(h, TestMouse::LeftDown, 50, 50);
            Pump(10);
            ASSERT_EQ(b->state, 2);
        }
        HostTestActivate(o);
        ASSERT_TRUE(PumpUntil([&] { return dlg.pm().GetHoverControl() == nullptr; })) << "held " << held;
        // The button coming up later is no second release.
        if (held) HostTestMouse(h, TestMouse::LeftUp, 50, 50);
        Pump(10);
        EXPECT_EQ(b->ups, held ? 1 : 0);
        if (held) {
            EXPECT_EQ(b->lastPoint, CPoint(-1, -1));
        }
        EXPECT_EQ(b->state, 0);  // the hot state is gone either way
        EXPECT_EQ(dlg.pm().GetPressedControl(), nullptr);
    }
}
