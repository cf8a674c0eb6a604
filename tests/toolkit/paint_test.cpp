// Painting and resources: the window background, skin images and their
// cache, per-pixel alpha, window timers, the message overlay and MRender.
#include "toolkit_fixture.h"

using namespace tktest;

namespace {

// Writes one pixel with colour but no alpha, as text drawn without alpha
// leaves it.
class RawPixel : public MControl {
public:
    RawPixel(MObject* parent, UINT id, CRect rect) : MControl(parent, id, rect, 1, 1, 1) {}
    void DrawControl(HDC& hdc, CRect) override {
        Image& target = hdc->Target();
        target.Bits()[m_rect.top * target.Stride() + m_rect.left] = 0x00204060;
    }
};

}  // namespace

TEST(Paint, WindowWithoutBackgroundShowsItsOnePixelBorder) {
    TestDialog dlg;
    const HWND h = Open(dlg, CRect(100, 100, 300, 200));
    dlg.pm().SetBackColor(RGB(10, 20, 30), RGB(200, 100, 50));
    ASSERT_TRUE(Painted(h));
    Pump(30);
    const ARGB border = ColorRefToARGB(RGB(200, 100, 50), 254);
    const ARGB body = ColorRefToARGB(RGB(10, 20, 30), 254);
    for (const CPoint p : {CPoint(0, 0), CPoint(199, 0), CPoint(0, 99), CPoint(199, 99), CPoint(100, 0)})
        EXPECT_TRUE(Near(PixelAt(h, p.x, p.y), border, 1)) << p.x << "," << p.y;
    for (const CPoint p : {CPoint(1, 1), CPoint(198, 98), CPoint(100, 50)})
        EXPECT_TRUE(Near(PixelAt(h, p.x, p.y), body, 1)) << p.x << "," << p.y;
    // What reached the screen (opaque there) is the same picture.
    const Image screen = HostTestScreenImage(h);
    ASSERT_FALSE(screen.IsNull());
    EXPECT_TRUE(Near(screen.GetPixel(0, 0), border | 0xFF000000, 2));
    EXPECT_TRUE(Near(screen.GetPixel(100, 50), body | 0xFF000000, 2));
}

TEST(Paint, NineGridBackgroundKeepsCornersAndStretchesTheRest) {
    TestDialog dlg;
    const HWND h = Open(dlg, CRect(100, 100, 300, 200));
    ASSERT_EQ(dlg.LoadBKImage(L"test_grid.png"), 1);
    dlg.SetBackMode(BackModeNineGrid, 4);
    InvalidateRect(h, nullptr, 0);
    ASSERT_TRUE(Painted(h));
    Pump(30);
    const ARGB red = 0xFFC80000, green = 0xFF00C800, blue = 0xFF0000C8;
    EXPECT_TRUE(Near(PixelAt(h, 1, 1), red));
    EXPECT_TRUE(Near(PixelAt(h, 198, 98), red));
    EXPECT_TRUE(Near(PixelAt(h, 100, 1), green));
    EXPECT_TRUE(Near(PixelAt(h, 1, 50), green));
    EXPECT_TRUE(Near(PixelAt(h, 100, 50), blue));

    // A file that is not there leaves no background image: the colours show.
    EXPECT_EQ(dlg.LoadBKImage(L"no_such_file.png"), 0);
    EXPECT_EQ(dlg.pm().GetBKImage(), nullptr);
    InvalidateRect(h, nullptr, 0);
    ASSERT_TRUE(Painted(h));
    Pump(30);
    EXPECT_FALSE(Near(PixelAt(h, 100, 50), blue));
}

TEST(Paint, ImageCacheKeepsTheFirstFrameCount) {
    TestDialog dlg;
    Open(dlg, CRect(100, 100, 300, 200));
    PaintManager& pm = dlg.pm();
    ImgResInfo* first = pm.AddImgResInfo(L"test_button.png", 4);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->frames, 4);
    EXPECT_EQ(first->frameWidth, 40);
    EXPECT_EQ(first->height, 24);
    ImgResInfo* again = pm.AddImgResInfo(L"test_button.png", 3);
    EXPECT_EQ(again, first);
    EXPECT_EQ(again->frames, 4);

    const int cached = pm.ImageCacheSize();
    EXPECT_EQ(pm.AddImgResInfo(L"missing.png", 4), nullptr);
    EXPECT_EQ(pm.AddImgResInfo(L"", 4), nullptr);
    EXPECT_EQ(pm.ImageCacheSize(), cached);

    // Library resources: the scroll bar strips.
    ImgResInfo* bar = pm.AddImgResInfo(kResScrollVertical, L"PNG", 3, 0);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->frameWidth, 8);
    EXPECT_EQ(pm.AddImgResInfo(999, L"PNG", 1, 0), nullptr);
}

TEST(Paint, SkinnedControlDrawsItsStateFrameAndMissingSkinsDrawNothing) {
    TestDialog dlg;
    TestButton *skinned = nullptr, *plain = nullptr;
    dlg.build = [&](TestDialog& d, CRect) {
        skinned = d.Make<TestButton>(L"TestButton", 101, CRect(10, 10, 90, 50));
        plain = d.Make<TestButton>(L"TestButton", 102, CRect(100, 10, 180, 50));
        EXPECT_EQ(skinned->SetImage(L"test_button.png", 4), 1);
        EXPECT_EQ(plain->SetImage(L"missing.png", 4), 0);
        plain->color = 0xFF123456;
    };
    const HWND h = Open(dlg, CRect(100, 100, 300, 200));
    ASSERT_TRUE(Painted(h));
    Pump(30);
    EXPECT_TRUE(Near(PixelAt(h, 50, 30), 0xFF3C5A78));  // normal frame
    EXPECT_TRUE(Near(PixelAt(h, 10, 10), 0xFFC8C8C8));  // its frame line
    EXPECT_TRUE(Near(PixelAt(h, 140, 30), 0xFF123456));  // no skin: its own colour
    EXPECT_EQ(plain->GetImage(), nullptr);

    Move(h, 50, 30);  // hover frame
    ASSERT_TRUE(PumpUntil([&] { return Near(PixelAt(h, 50, 30), 0xFF5082AA); }));
    skinned->SetEnabled(0);  // disabled frame
    ASSERT_TRUE(PumpUntil([&] { return Near(PixelAt(h, 50, 30), 0xFF5A5A5A); }));

    TestButton orphan(nullptr, 1, CRect(), L"", 1, 1);
    EXPECT_EQ(orphan.SetImage(L"test_button.png", 4), 0);  // no manager
}

TEST(Paint, LayeredWindowsKeepAlphaAndRepaintWhole) {
    TestDialog dlg;
    TestButton* b = nullptr;
    dlg.build = [&](TestDialog& d, CRect) {
        d.SetLayeredWindow(1);
        d.pm().AddControl(new RawPixel(&d, 50, CRect(5, 5, 6, 6)));
        b = d.Make<TestButton>(L"TestButton", 101, CRect(20, 20, 40, 40));
    };
    const HWND h = Open(dlg, CRect(100, 100, 300, 200));
    ASSERT_TRUE(Painted(h));
    Pump(30);
    EXPECT_EQ(dlg.GetExStyle() & WS_EX_LAYERED, WS_EX_LAYERED);
    EXPECT_EQ(ARGBAlpha(PixelAt(h, 5, 5)), 255);
    EXPECT_EQ(PixelAt(h, 5, 5) & 0x00FFFFFF, 0x00204060u);

    const int paints = HostTestPaintCount(h);
    b->UpdateControl();
    ASSERT_TRUE(PumpUntil([&] { return HostTestPaintCount(h) > paints && !HostTestPaintPending(h); }));
    EXPECT_EQ(HostTestLastPaintRect(h), CRect(0, 0, 200, 100));
}

TEST(Paint, BurstOfRepaintRequestsBecomesOnePaintOfTheirUnion) {
    TestDialog dlg;
    TestButton *a = nullptr, *b = nullptr;
    dlg.build = [&](TestDialog& d, CRect) {
        a = d.Make<TestButton>(L"TestButton", 101, CRect(10, 10, 30, 30));
        b = d.Make<TestButton>(L"TestButton", 102, CRect(100, 50, 120, 70));
    };
    const HWND h = Open(dlg, CRect(100, 100, 300, 200));
    ASSERT_TRUE(Painted(h));
    Pump(40);
    const int paints = HostTestPaintCount(h);
    for (int i = 0; i < 20; ++i) {
        a->UpdateControl();
        b->UpdateControl();
        const CRect r(40 + i, 80, 41 + i, 81);
        InvalidateRect(h, &r, 0);
    }
    ASSERT_TRUE(PumpUntil([&] { return HostTestPaintCount(h) > paints && !HostTestPaintPending(h); }));
    Pump(40);
    EXPECT_EQ(HostTestPaintCount(h), paints + 1);
    EXPECT_EQ(HostTestLastPaintRect(h), CRect(10, 10, 120, 81));
}

TEST(Paint, ZeroSizedWindowsExistButPaintNothing) {
    TestDialog dlg;
    TestButton* b = nullptr;
    dlg.build = [&](TestDialog& d, CRect) { b = d.Make<TestButton>(L"TestButton", 101, CRect(0, 0, 10, 10)); };
    const HWND h = Open(dlg, CRect(100, 100, 100, 100));
    ASSERT_NE(h, nullptr);
    b->UpdateControl();
    dlg.pm().Invalidate();
    Pump(40);
    EXPECT_EQ(HostTestPaintCount(h), 0);
    EXPECT_TRUE(HostTestSurface(h).IsNull());
    EXPECT_EQ(b->draws, 0);
}

TEST(Timers, PlatformIdsRunFrom17AndWrapAt240) {
    TestDialog dlg;
    TestButton* b = nullptr;
    dlg.build = [&](TestDialog& d, CRect) { b = d.Make<TestButton>(L"TestButton", 101, CRect(0, 0, 10, 10)); };
    Open(dlg, CRect(100, 100, 300, 200));
    PaintManager& pm = dlg.pm();
    for (UINT key = 0; key < 224; ++key) ASSERT_EQ(pm.SetTimer(b, key, 60000), 1);
    EXPECT_EQ(pm.GetTimerPlatformId(b, 0), 17u);
    EXPECT_EQ(pm.GetTimerPlatformId(b, 1), 18u);
    EXPECT_EQ(pm.GetTimerPlatformId(b, 222), 239u);
    EXPECT_EQ(pm.GetTimerPlatformId(b, 223), 0u);  // the 224th
    // A running timer is not restarted; a stopped one keeps its id.
    EXPECT_EQ(pm.SetTimer(b, 5, 100), 0);
    EXPECT_EQ(pm.KillTimer(b, 5), 1);
    EXPECT_EQ(pm.KillTimer(b, 5), 0);
    EXPECT_EQ(pm.SetTimer(b, 5, 100), 1);
    EXPECT_EQ(pm.GetTimerPlatformId(b, 5), 22u);
    for (UINT key = 224; key < 240; ++key) ASSERT_EQ(pm.SetTimer(b, key, 60000), 1);
    EXPECT_EQ(pm.GetTimerPlatformId(b, 239), 16u);
    // Every id is held now: no free timer.
    EXPECT_EQ(pm.SetTimer(b, 240, 60000), 0);
    // A cleared table starts the sequence where it stood.
    pm.ClearTimers();
    EXPECT_EQ(pm.SetTimer(b, 0, 60000), 1);
    EXPECT_EQ(pm.GetTimerPlatformId(b, 0), 17u);
}

TEST(Timers, WindowTimerTicksTheControlUntilKilled) {
    TestDialog dlg;
    TestButton* b = nullptr;
    dlg.build = [&](TestDialog& d, CRect) { b = d.Make<TestButton>(L"TestButton", 101, CRect(0, 0, 10, 10)); };
    Open(dlg, CRect(100, 100, 300, 200));
    ASSERT_EQ(b->SetTimer(7, 15), 1);
    ASSERT_TRUE(PumpUntil([&] { return b->ticks >= 3; }));
    b->KillTimer(7);
    const int ticks = b->ticks;
    Pump(80);
    EXPECT_EQ(b->ticks, ticks);
    // A destroyed control leaves no timer behind.
    b->SetTimer(8, 15);
    dlg.pm().RemoveControl(b);
    EXPECT_EQ(dlg.pm().GetTimerPlatformId(b, 8), 0xFFFFFFFFu);
    Pump(60);
}

TEST(Overlay, ProgressAnimatesJumpsFadesAndStops) {
    TestDialog dlg;
    const HWND h = Open(dlg, CRect(100, 100, 500, 300));
    PaintManager& pm = dlg.pm();
    dlg.SetProgress(40, L"Working");
    EXPECT_EQ(pm.GetMessageTarget(), 40);
    EXPECT_LT(pm.GetMessageProgress(), 40);  // rises 2 per 10 ms tick
    ASSERT_TRUE(PumpUntil([&] { return pm.GetMessageProgress() == 40; }));
    ASSERT_TRUE(Painted(h));
    Pump(30);
    // The band at the bottom (client height 200): light box, yellow bar over
    // 40 % of its width.
    EXPECT_TRUE(Near(PixelAt(h, 20, 150), 0xFEFEFEFE, 2));
    EXPECT_TRUE(Near(PixelAt(h, 20, 183), 0xFEFFE100, 2));
    EXPECT_FALSE(Near(PixelAt(h, 300, 183), 0xFEFFE100, 40));

    dlg.SetProgress(96, L"Working");
    ASSERT_TRUE(PumpUntil([&] { return pm.GetMessageProgress() == 96; }));
    dlg.SetProgress(100, L"Done");  // less than 6 above: jumps, then fades
    EXPECT_EQ(pm.GetMessageProgress(), 100);
    ASSERT_TRUE(PumpUntil([&] { return pm.GetMessageAlpha() < 255; }));
    dlg.SetProgress(3, L"Again");  // stops the fade
    EXPECT_EQ(pm.GetMessageAlpha(), 255);
    Pump(200);
    EXPECT_EQ(pm.GetMessageAlpha(), 255);

    dlg.SetProgress(100, L"Done");
    EXPECT_TRUE(PumpUntil([&] { return pm.GetMessageAlpha() == 0; }, 3000));
}

TEST(Overlay, MessageShowsInTheMiddle) {
    TestDialog dlg;
    const HWND h = Open(dlg, CRect(100, 100, 500, 300));
    dlg.SetMessage(L"Saved");
    EXPECT_EQ(dlg.pm().GetMessageAlpha(), 255);
    ASSERT_TRUE(Painted(h));
    Pump(30);
    EXPECT_TRUE(Near(PixelAt(h, 200 - 100 + 1, 100), 0xFEE6E6E6, 2));  // outer frame
    EXPECT_TRUE(Near(PixelAt(h, 200 + 90, 100 + 25), 0xFEFEFEFE, 2));  // inner box
}

TEST(Render, ColourAndAlignmentRules) {
    struct AlphaCase {
        DWORD in;
        DWORD out;
    };
    for (const AlphaCase c : {AlphaCase{0x000000, 0x000001}, AlphaCase{0xFF000000, 0xFF000001},
                              AlphaCase{0x000100, 0x000100}, AlphaCase{0x010203, 0x010203}}) {
        DWORD v = c.in;
        MRender::CheckAlphaColor(v);
        EXPECT_EQ(v, c.out);
    }
    struct OriginCase {
        int h, v;
        CPoint out;
    };
    for (const OriginCase c : {OriginCase{0, 0, CPoint(0, 0)}, OriginCase{1, 4, CPoint(40, 15)},
                               OriginCase{2, 8, CPoint(80, 30)}, OriginCase{1, 0, CPoint(40, 0)}}) {
        EXPECT_EQ(MRender::GetOriginPoint(100, 40, 20, 10, c.h, c.v), c.out) << c.h << "/" << c.v;
    }
}

TEST(Render, NineGridCopiesCornersUnscaled) {
    auto grid = MRender::LoadImageFromFile(PaintManager::GetSkinFolder() + L"test_grid.png");
    ASSERT_NE(grid, nullptr);
    Image target(100, 60);
    {
        Graphics g(target);
        MRender::DrawImageFrame(g, grid.get(), CRect(0, 0, 100, 60), 0, 0, 32, 32, 4);
    }
    // 4 x 4 red corners stay 4 x 4.
    EXPECT_TRUE(Near(target.GetPixel(3, 3), 0xFFC80000));
    EXPECT_TRUE(Near(target.GetPixel(96, 56), 0xFFC80000));
    EXPECT_TRUE(Near(target.GetPixel(8, 8), 0xFF0000C8));
    EXPECT_TRUE(Near(target.GetPixel(50, 2), 0xFF00C800));
    EXPECT_EQ(MRender::LoadImageFromFile(L"/no/such.png"), nullptr);
    EXPECT_EQ(MRender::LoadImageFromIDResource(12345, L"PNG", TavriModule()), nullptr);
}

TEST(Render, EmbeddedToolkitFont) {
    ResourceData font;
    ASSERT_TRUE(FindResourceData(TavriModule(), kResToolkitFont, L"ttf", &font));
    EXPECT_EQ(font.size, 221328u);
    EXPECT_TRUE(FindResourceData(TavriModule(), kResToolkitFont, L"TTF", nullptr));
    const FontFamily* family = PaintManager::ToolkitFontFamily();
    ASSERT_NE(family, nullptr);
    EXPECT_EQ(family->family, CString(L"Open Sans Semibold"));
    const CSize text = MRender::GetTextBounds(Font(family->family, 14), L"Esc");
    EXPECT_GT(text.cx, 10);
    EXPECT_GT(text.cy, 10);
}

TEST(Render, StretchedAndTextPicturesFollowTheirInputs) {
    auto grid = MRender::LoadImageFromFile(PaintManager::GetSkinFolder() + L"test_grid.png");
    ASSERT_NE(grid, nullptr);
    auto draw = [&](const CRect& dest) {
        Image target(100, 60);
        Graphics g(target);
        MRender::DrawImageFrame(g, grid.get(), dest, 0, 0, 32, 32, 4);
        return target;
    };
    const Image first = draw(CRect(0, 0, 100, 60));
    const Image again = draw(CRect(0, 0, 100, 60));
    for (const CPoint p : {CPoint(1, 1), CPoint(50, 2), CPoint(50, 30), CPoint(98, 58)})
        EXPECT_EQ(again.GetPixel(p.x, p.y), first.GetPixel(p.x, p.y)) << p.x << "," << p.y;
    // The same size elsewhere is the same picture, moved.
    const Image moved = draw(CRect(10, 5, 60, 35));
    EXPECT_TRUE(Near(moved.GetPixel(11, 6), 0xFFC80000));
    EXPECT_TRUE(Near(moved.GetPixel(35, 20), 0xFF0000C8));
    EXPECT_EQ(moved.GetPixel(5, 5), 0u);
    // A changed source is drawn as it is now, never from an old picture.
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) grid->SetPixel(x, y, 0xFFFFFFFF);
    EXPECT_TRUE(Near(draw(CRect(0, 0, 100, 60)).GetPixel(1, 1), 0xFFFFFFFF));

    // Text: the colour and the box are part of what is drawn.
    auto text = [](ARGB color, const CRect& box) {
        Image target(120, 40);
        Graphics g(target);
        g.DrawString(L"MMMM", Font(L"Arial", 20), box, StringFormat(0, 0), color);
        return target;
    };
    auto ink = [](const Image& img, ARGB color) {
        int n = 0;
        for (int y = 0; y < img.Height(); ++y)
            for (int x = 0; x < img.Width(); ++x) n += Near(img.GetPixel(x, y), color, 4) ? 1 : 0;
        return n;
    };
    const Image red = text(0xFFFF0000, CRect(0, 0, 120, 40));
    const Image blue = text(0xFF0000FF, CRect(0, 0, 120, 40));
    EXPECT_GT(ink(red, 0xFFFF0000), 10);
    EXPECT_EQ(ink(blue, 0xFFFF0000), 0);
    EXPECT_GT(ink(blue, 0xFF0000FF), 10);
    // A narrower box clips the caption.
    EXPECT_LT(ink(text(0xFFFF0000, CRect(0, 0, 20, 40)), 0xFFFF0000), ink(red, 0xFFFF0000));
}
