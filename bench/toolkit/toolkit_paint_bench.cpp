// Paint and tick figures of the toolkit on the offscreen platform:
//   full     full repaint of a 1280 x 720 skinned window with 200 skinned
//            controls (background nine-grid, a four-state strip and a caption
//            each), through the window's paint message, and the drawing alone;
//            also the very first paint, before any stretched picture is kept
//   hover    the mouse moving onto / off one control: routing plus the repaint
//            of that control's rectangle
//   tick     the 10 ms high-resolution tick as the controls see it: period
//            error on an idle window, on a window that repaints the ticking
//            control, and on one that asks for a full repaint every tick
//   pacing   while every tick asks for a full repaint: paints per second and
//            how long a message posted by another thread waits (the UI thread
//            must never sleep to pace painting)
// Usage: toolkit_paint_bench [runs]   (default 101 paint runs, 3 s per tick case)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "tavri/host_test.h"
#include "tavri/tavri.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

constexpr int kColumns = 20;
constexpr int kRows = 10;
constexpr int kCellW = 64;
constexpr int kCellH = 72;
constexpr UINT kProbeId = 9000;
constexpr UINT kStampMsg = WM_APP + 1;

// A skinned push button: the strip's normal or hover frame as a nine-grid,
// and its caption.
class BenchButton : public MControlFont {
public:
    BenchButton(MObject* parent, UINT id, CRect rect, const wchar_t* text, int visible, int enabled)
        : MControlFont(parent, id, rect, text, visible, enabled, 1) {}
    void DrawControl(HDC& hdc, CRect) override {
        Graphics& g = *hdc;
        MRender::DrawImageFrame(g, m_imageInfo, m_rect, m_state, 4);
        g.DrawString(m_title, GetTextFontObject(), m_rect, StringFormat(1, 4), m_textColor);
    }
    int OnControlMouseMove(UINT, CPoint pt) override {
        const int inside = m_rect.PtInRect(pt) ? 1 : 0;
        if (inside != m_state) {
            m_state = inside;
            UpdateControl();
        }
        return inside;
    }

private:
    int m_state = 0;
};
TAVRI_REGISTER_CONTROL(BenchButton, "BenchButton", kFactoryBoth,
                       new BenchButton(parent, id, rect, text, visible, enabled))

enum class TickLoad { Idle, OwnRect, WholeWindow };

// Records when the tick reaches it; depending on the load it asks for a
// repaint of itself or of the whole window.
class TickProbe : public MControl {
public:
    TickProbe(MObject* parent, UINT id, CRect rect) : MControl(parent, id, rect, 1, 1, 1) {}
    void DrawControl(HDC& hdc, CRect) override { hdc->FillRect(m_rect, (stamps.size() & 1) ? 0xFFFF8000 : 0xFF0080FF); }
    int OnControlTimer() override {
        stamps.push_back(Clock::now());
        if (load == TickLoad::OwnRect) UpdateControl();
        else if (load == TickLoad::WholeWindow && m_manager) m_manager->Invalidate();
        return 1;
    }
    std::vector<Clock::time_point> stamps;
    TickLoad load = TickLoad::Idle;
};

class BenchDialog : public MDialog {
public:
    void InitUI(CRect) override {
        LoadBKImage(L"img_tip_bk.png");
        SetBackMode(BackModeNineGrid, 6);
        for (int r = 0; r < kRows; ++r) {
            for (int c = 0; c < kColumns; ++c) {
                const int n = r * kColumns + c;
                const CRect rect(c * kCellW + 4, r * kCellH + 8, c * kCellW + 60, r * kCellH + 64);
                auto* b = dynamic_cast<MControlFont*>(
                    CreateControl(L"BenchButton", static_cast<UINT>(100 + n), rect, CString::Formatted(L"Key %d", n)));
                if (b) {
                    b->SetImage(L"test_button.png", 4);
                    ++controls;
                }
            }
        }
        probe = new TickProbe(this, kProbeId, CRect(1270, 0, 1280, 8));
        m_paintManager.AddControl(probe);
        probe->AddMTimer();
        probe->SetRunTimer(1);
    }
    LRESULT OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == kStampMsg) {
            const auto sent = Clock::time_point(Clock::duration(static_cast<Clock::rep>(lParam)));
            latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
            return 0;
        }
        return MDialog::OnWindowMessage(msg, wParam, lParam);
    }
    int controls = 0;
    TickProbe* probe = nullptr;
    std::vector<double> latencies;
};

// Runs the window's queue for `ms` as a message loop does.
void PumpFor(double ms) {
    const auto t0 = Clock::now();
    MSG msg;
    for (;;) {
        while (PeekMessageW(&msg, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const double left = ms - MsSince(t0);
        if (left <= 0) return;
        WaitMessageTimeout(std::max(1, static_cast<int>(left)));
    }
}

void PrintFigures(const char* name, const std::vector<double>& v, const char* target) {
    std::printf("%-34s median %7.3f ms   p95 %7.3f ms   max %7.3f ms   (%zu runs)%s%s\n", name, Percentile(v, 0.5),
                Percentile(v, 0.95), v.empty() ? 0.0 : *std::max_element(v.begin(), v.end()), v.size(),
                *target ? "   target " : "", target);
}

void TickCase(BenchDialog& dlg, TickLoad load, const char* name, double seconds) {
    dlg.probe->load = load;
    dlg.probe->stamps.clear();
    const UINT id = dlg.SetMTimer(10);
    PumpFor(seconds * 1000.0);
    dlg.KillMTimer(id);
    const auto& s = dlg.probe->stamps;
    std::vector<double> errors;
    double sum = 0;
    for (std::size_t i = 1; i < s.size(); ++i) {
        const double period = std::chrono::duration<double, std::milli>(s[i] - s[i - 1]).count();
        sum += period;
        errors.push_back(std::abs(period - 10.0));
    }
    std::printf("%-34s median error %6.3f ms   p95 %6.3f ms   mean period %6.3f ms   (%zu ticks)   target < 0.5 ms\n",
                name, Percentile(errors, 0.5), Percentile(errors, 0.95),
                errors.empty() ? 0.0 : sum / static_cast<double>(errors.size()), s.size());
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 101;
    setenv("QT_QPA_PLATFORM", "offscreen:configfile=" TAVRI_BENCH_SCREEN, 0);
    setenv("KEYLOOM_PROGRAM_DIR", TAVRI_BENCH_PROGRAM_DIR, 0);
    int qtArgc = 1;
    char name[] = "toolkit_paint_bench";
    char* qtArgv[] = {name, nullptr};
    if (!HostInitialize(qtArgc, qtArgv)) {
        std::fprintf(stderr, "no display platform (set QT_QPA_PLATFORM=offscreen)\n");
        return 1;
    }
    {
        BenchDialog dlg;
        const HWND h = dlg.Create(nullptr, L"Bench", WS_POPUP | WS_VISIBLE, 0, CRect(0, 0, 1280, 720));
        if (!h || dlg.controls != kColumns * kRows || !dlg.GetPaintManager().GetBKImage()) {
            std::fprintf(stderr, "setup failed: window %p, %d skinned controls, background %s (skins in %s?)\n",
                         static_cast<void*>(h), dlg.controls, dlg.GetPaintManager().GetBKImage() ? "yes" : "no",
                         TAVRI_BENCH_PROGRAM_DIR);
            return 1;
        }
        // The first paint fills the stretched-image and caption pictures.
        InvalidateRect(h, nullptr, 0);
        const auto first = Clock::now();
        UpdateWindow(h);
        const double firstMs = MsSince(first);
        PumpFor(100);
        std::printf("window 1280 x 720, %d skinned controls, skinned background\n", dlg.controls);
        std::printf("%-34s %7.3f ms\n", "first paint (pictures not kept yet)", firstMs);

        // ---- full repaint ----
        std::vector<double> full, drawOnly;
        for (int i = 0; i < runs; ++i) {
            InvalidateRect(h, nullptr, 0);
            const auto t0 = Clock::now();
            UpdateWindow(h);
            full.push_back(MsSince(t0));
        }
        if (HostTestLastPaintRect(h) != CRect(0, 0, 1280, 720)) std::fprintf(stderr, "full repaint did not cover the window\n");
        Image surface(1280, 720);
        for (int i = 0; i < runs; ++i) {
            const auto t0 = Clock::now();
            dlg.GetPaintManager().PaintInto(surface, CRect(0, 0, 1280, 720));
            drawOnly.push_back(MsSince(t0));
        }

        // ---- hover repaint of one control ----
        // Alternately onto button 0's middle and onto the background beside
        // it: each move changes that one control's state.
        std::vector<double> hover;
        CRect hoverRect;
        for (int i = 0; i < runs * 2; ++i) {
            const CPoint pt = (i & 1) ? CPoint(2, 36) : CPoint(32, 36);
            const auto t0 = Clock::now();
            SendMessageW(h, WM_MOUSEMOVE, 0, MAKELPARAM(pt.x, pt.y));
            UpdateWindow(h);
            hover.push_back(MsSince(t0));
            hoverRect = HostTestLastPaintRect(h);
        }

        PrintFigures("full repaint (paint message)", full, "<= 8 ms");
        PrintFigures("  of which drawing", drawOnly, "");
        PrintFigures("hover repaint of one control", hover, "<= 1 ms");
        std::printf("  repainted rect %d,%d-%d,%d\n", hoverRect.left, hoverRect.top, hoverRect.right, hoverRect.bottom);

        // ---- tick ----
        const double seconds = 3.0;
        TickCase(dlg, TickLoad::Idle, "tick 10 ms, idle window", seconds);
        TickCase(dlg, TickLoad::OwnRect, "tick 10 ms, control repaints", seconds);

        // ---- pacing: full repaint every tick, a worker posting meanwhile ----
        dlg.latencies.clear();
        std::atomic<bool> stop{false};
        std::thread poster([&] {
            while (!stop.load()) {
                PostMessageW(h, kStampMsg, 0, static_cast<LPARAM>(Clock::now().time_since_epoch().count()));
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        const int paintsBefore = HostTestPaintCount(h);
        const auto t0 = Clock::now();
        TickCase(dlg, TickLoad::WholeWindow, "tick 10 ms, full repaint each", seconds);
        const double elapsed = MsSince(t0) / 1000.0;
        const int paints = HostTestPaintCount(h) - paintsBefore;
        stop = true;
        poster.join();
        std::printf("pacing: %.1f paints/s of the whole window (at most %d/s allowed)\n",
                    static_cast<double>(paints) / elapsed, 1000 / kMinPaintIntervalMs);
        PrintFigures("  posted message wait", dlg.latencies, "");
        dlg.DestroyWindow();
    }
    HostShutdown();
    return 0;
}
