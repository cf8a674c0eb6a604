// Popup windows: menus and their items, the drop-down popup, the key tip.
#include "toolkit_fixture.h"

using namespace tktest;

namespace {

constexpr UINT kMenuMsg = WM_APP + 30;

struct Owner {
    TestDialog dlg;
    HWND hwnd = nullptr;
    std::vector<std::pair<WPARAM, LPARAM>> commands;
    Owner() {
        dlg.onWindowMessage = [this](UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            if (msg != kMenuMsg) return 0;
            commands.emplace_back(w, l);
            return 1;
        };
        hwnd = Open(dlg, CRect(100, 100, 900, 700));
    }
};

int ItemTop(MenuWnd& menu, UINT id) { return menu.GetControl(id)->GetRect().top; }

}  // namespace

TEST(Menu, GrowsForWideTitlesAndFitsItsItems) {
    Owner owner;
    MenuWnd menu(nullptr);
    menu.AddMenu(L"Short", 601, CString());
    EXPECT_EQ(menu.GetMenuWidth(), 300);
    const CString wide(L"A title that is far wider than the three hundred pixels of a menu");
    const Font font(Manager::GetFontName(), static_cast<float>(Manager::GetFontWidth()));
    const int textWidth = MRender::GetTextBounds(font, wide).cx;
    ASSERT_GT(textWidth, 300);
    menu.AddMenu(wide, 602, CString(L"test_icon.png"));
    EXPECT_EQ(menu.GetMenuWidth(), textWidth + menu.GetTextIndent() + 4);
    menu.AddSeparator(603);
    menu.AddMenu(L"Hidden", 604, CString());
    menu.AddMenu(L"Last", 605, CString());
    menu.SetItemVisible(604, 0);  // recorded, applied when the window starts
    ASSERT_EQ(menu.Create(owner.hwnd, CPoint(200, 200), kMenuMsg), 1);

    CRect r;
    menu.GetWindowRect(&r);
    EXPECT_EQ(r.TopLeft(), CPoint(200, 200));
    EXPECT_EQ(r.Width(), menu.GetMenuWidth());
    // Paddings 6 and 6, three visible items of 35, one separator of 4.
    EXPECT_EQ(r.Height(), 6 + 35 + 35 + 4 + 35 + 6);
    EXPECT_EQ(ItemTop(menu, 601), 6);
    EXPECT_EQ(ItemTop(menu, 602), 41);
    EXPECT_EQ(menu.GetControl(603)->GetRect(), CRect(1, 77, menu.GetMenuWidth() - 1, 78));
    EXPECT_TRUE(menu.GetControl(604)->GetRect().IsRectEmpty());
    EXPECT_EQ(ItemTop(menu, 605), 80);
    EXPECT_EQ(GetWindowTextW(menu.GetSafeHwnd()), CString(L"Menu Window"));
    EXPECT_EQ(menu.GetExStyle(), WS_EX_TOOLWINDOW);
    // The item's icon came from the skin strip.
    EXPECT_EQ(dynamic_cast<MenuItem*>(menu.GetControl(602))->GetImageFrameWidth(), 16);
}

TEST(Menu, ClickedItemNotifiesTheOwnerAndCloses) {
    Owner owner;
    auto* menu = new MenuWnd(nullptr);
    menu->AddMenu(L"Restore", 606, CString());
    menu->AddMenu(L"Disable", 607, CString());
    ASSERT_EQ(menu->Create(owner.hwnd, CPoint(300, 300), kMenuMsg), 1);
    const HWND m = menu->GetSafeHwnd();
    ASSERT_TRUE(Painted(m));
    Click(m, 50, 6 + 35 + 10);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(m); }));
    ASSERT_EQ(owner.commands.size(), 1u);
    EXPECT_EQ(owner.commands[0].first, 0u);
    EXPECT_EQ(owner.commands[0].second, 607);
    delete menu;
}

TEST(Menu, ClosesWhenAnotherWindowIsActivated) {
    Owner owner;
    MenuWnd menu(nullptr);
    menu.AddMenu(L"Item", 606, CString());
    ASSERT_EQ(menu.Create(owner.hwnd, CPoint(300, 300), kMenuMsg), 1);
    const HWND m = menu.GetSafeHwnd();
    ASSERT_TRUE(PumpUntil([&] { return GetActiveWindow() == m; }));
    HostTestActivate(owner.hwnd);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(m); }));
    EXPECT_TRUE(owner.commands.empty());
}

TEST(Menu, CheckableItemsReportThePressAndToggleOnRelease) {
    Owner owner;
    MenuWnd menu(nullptr);
    menu.AddMenu(L"Lone", 610, CString());
    menu.AddMenu(L"Grouped", 611, CString());
    auto* lone = dynamic_cast<MenuItem*>(menu.GetControl(610));
    auto* grouped = dynamic_cast<MenuItem*>(menu.GetControl(611));
    lone->SetCheckable(1);
    lone->SetGroupName(L"");
    grouped->SetCheckable(1);
    menu.SetItemCheck(611, 1);
    ASSERT_EQ(menu.Create(owner.hwnd, CPoint(300, 300), kMenuMsg), 1);
    const HWND m = menu.GetSafeHwnd();
    EXPECT_EQ(grouped->GetCheck(), 1);  // the recorded change was applied

    Click(m, 50, 6 + 10);
    Pump(20);
    EXPECT_EQ(lone->GetCheck(), 1);
    Click(m, 50, 6 + 10);
    EXPECT_EQ(lone->GetCheck(), 0);
    // A grouped item stays checked, as a radio item does.
    Click(m, 50, 6 + 35 + 10);
    EXPECT_EQ(grouped->GetCheck(), 1);
    Pump(20);
    ASSERT_EQ(owner.commands.size(), 3u);  // one press notice each, lParam the item
    EXPECT_EQ(owner.commands[0], std::make_pair(WPARAM(0), LPARAM(610)));
    EXPECT_EQ(owner.commands[1], std::make_pair(WPARAM(1), LPARAM(610)));
    EXPECT_EQ(owner.commands[2], std::make_pair(WPARAM(1), LPARAM(611)));
    EXPECT_TRUE(IsWindow(m));  // checking does not close the menu
}

TEST(Popup, NotificationsGoToItsParentObject) {
    Owner owner;
    struct Sink : MObject {
        std::vector<Note> notes;
        LRESULT OnBaseMessage(UINT id, UINT code, UINT w, LPARAM l) override {
            notes.push_back(Note{id, code, w, l});
            return 1;
        }
    } sink;
    MPopupWnd popup(&sink);
    ASSERT_EQ(popup.Create(owner.hwnd, CRect(300, 300, 500, 400)), 1);
    const HWND p = popup.GetSafeHwnd();
    EXPECT_EQ(GetWindowTextW(p), CString(L"ComboWnd"));
    auto* b = dynamic_cast<TestButton*>(popup.CreateControl(L"TestButton", 70, CRect(0, 0, 100, 50)));
    ASSERT_NE(b, nullptr);
    Click(p, 10, 10);
    ASSERT_EQ(sink.notes.size(), 2u);
    EXPECT_EQ(sink.notes[1].id, 70u);
    EXPECT_EQ(sink.notes[1].code, 2u);
    HostTestActivate(owner.hwnd);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(p); }));
}

TEST(KeyTips, MovesOverTheAnchorAndPaintsWithAlpha) {
    Owner owner;
    CKeyboardTips tips;
    ASSERT_EQ(tips.Create(owner.hwnd), 1);
    const HWND t = tips.GetSafeHwnd();
    EXPECT_EQ(GetWindowTextW(t), CString(L"KeyboardTip Window"));
    CRect r;
    GetWindowRect(t, &r);
    EXPECT_TRUE(r.IsRectEmpty());

    tips.SetAirBladderMsg(L"Esc", L"Macro 1", L"Play", 400, 300);
    GetWindowRect(t, &r);
    EXPECT_EQ(r, CRect(305, 200, 495, 300));
    tips.ShowWindow(SW_SHOW);
    ASSERT_TRUE(Painted(t));
    EXPECT_NE(GetActiveWindow(), t);  // a tip never takes the focus
    const Image surface = HostTestSurface(t);
    EXPECT_EQ(ARGBAlpha(surface.GetPixel(0, 0)), 0);     // outside the rounded corner
    EXPECT_GT(ARGBAlpha(surface.GetPixel(95, 50)), 200);  // the box itself
    // Some title text (light grey) is drawn in the title band.
    bool titleInk = false;
    for (int x = 10; x < 180; ++x)
        for (int y = 8; y < 28; ++y) titleInk = titleInk || ARGBRed(surface.GetPixel(x, y)) > 120;
    EXPECT_TRUE(titleInk);

    // The same message changes nothing; an empty title does not move it.
    const int paints = HostTestPaintCount(t);
    tips.SetAirBladderMsg(L"Esc", L"Macro 1", L"Play", 400, 300);
    tips.SetAirBladderMsg(L"", L"", L"", 10, 10);
    Pump(40);
    GetWindowRect(t, &r);
    EXPECT_EQ(r, CRect(305, 200, 495, 300));
    EXPECT_EQ(HostTestPaintCount(t), paints);

    SetTimer(t, CKeyboardTips::kHideTimer, 10, nullptr);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(t); }));
}
