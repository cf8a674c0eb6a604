// Test hooks: input goes in through the platform's window-system entry
// points (the ones real input takes), so the window's own event handlers turn
// it into messages; painted surfaces can be read back.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QWheelEvent>

#include <chrono>

#include "host_internal.h"
#include "tavri/host_test.h"

// The platform's input entry points the Qt test library uses as well.
extern Q_GUI_EXPORT void qt_handleMouseEvent(QWindow* window, const QPointF& local, const QPointF& global,
                                             Qt::MouseButtons state, Qt::MouseButton button, QEvent::Type type,
                                             Qt::KeyboardModifiers mods, int timestamp);
extern Q_GUI_EXPORT void qt_handleKeyEvent(QWindow* window, QEvent::Type t, int k, Qt::KeyboardModifiers mods,
                                           const QString& text, bool autorep, ushort count);

using namespace tavri::host;

namespace {

Qt::MouseButtons g_buttons;
int g_timestamp = 1;

HostWindow* WindowOf(HWND hwnd) {
    WindowRecord* rec = Find(hwnd);
    return rec && rec->qwin && rec->qwin->isVisible() ? rec->qwin : nullptr;
}

Qt::KeyboardModifiers Mods(int m) {
    Qt::KeyboardModifiers mods;
    if (m & kTestShift) mods |= Qt::ShiftModifier;
    if (m & kTestCtrl) mods |= Qt::ControlModifier;
    if (m & kTestAlt) mods |= Qt::AltModifier;
    return mods;
}

}  // namespace

bool HostTestMouse(HWND hwnd, TestMouse kind, int x, int y) {
    HostWindow* w = WindowOf(hwnd);
    if (!w) return false;
    const QPointF local(x, y);
    const QPointF global = QPointF(Find(hwnd)->rect.left + x, Find(hwnd)->rect.top + y);
    Qt::MouseButton button = Qt::NoButton;
    QEvent::Type type = QEvent::MouseMove;
    switch (kind) {
    case TestMouse::Move: break;
    case TestMouse::LeftDown: button = Qt::LeftButton; type = QEvent::MouseButtonPress; g_buttons |= button; break;
    case TestMouse::LeftUp: button = Qt::LeftButton; type = QEvent::MouseButtonRelease; g_buttons &= ~button; break;
    case TestMouse::RightDown: button = Qt::RightButton; type = QEvent::MouseButtonPress; g_buttons |= button; break;
    case TestMouse::RightUp: button = Qt::RightButton; type = QEvent::MouseButtonRelease; g_buttons &= ~button; break;
    }
    qt_handleMouseEvent(w, local, global, g_buttons, button, type, QGuiApplication::keyboardModifiers(),
                        g_timestamp += 10);
    return true;
}

bool HostTestMouseLeave(HWND hwnd) {
    HostWindow* w = WindowOf(hwnd);
    if (!w) return false;
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(w, &leave);
    return true;
}

bool HostTestWheel(HWND hwnd, int delta, int x, int y) {
    HostWindow* w = WindowOf(hwnd);
    if (!w) return false;
    const QPointF local(x, y);
    const QPointF global = QPointF(Find(hwnd)->rect.left + x, Find(hwnd)->rect.top + y);
    QWheelEvent ev(local, global, QPoint(), QPoint(0, delta), g_buttons, QGuiApplication::keyboardModifiers(),
                   Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w, &ev);
    return true;
}

bool HostTestKey(HWND hwnd, UINT vk, bool down, int modifiers) {
    HostWindow* w = WindowOf(hwnd);
    if (!w) return false;
    bool keypad = false;
    const int key = VkToQtKey(vk, &keypad);
    if (!key) return false;
    Qt::KeyboardModifiers mods = Mods(modifiers);
    if (keypad) mods |= Qt::KeypadModifier;
    QString text;
    if (key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde && !(modifiers & (kTestCtrl | kTestAlt))) {
        QChar c(key);
        text = (modifiers & kTestShift) ? QString(c) : QString(c).toLower();
    }
    qt_handleKeyEvent(w, down ? QEvent::KeyPress : QEvent::KeyRelease, key, mods, text, false, 1);
    return true;
}

bool HostTestCloseButton(HWND hwnd) {
    WindowRecord* rec = Find(hwnd);
    if (!rec || !rec->qwin) return false;
    QCloseEvent ev;
    QCoreApplication::sendEvent(rec->qwin, &ev);
    return true;
}

bool HostTestActivate(HWND hwnd) {
    HostWindow* w = WindowOf(hwnd);
    if (!w) return false;
    w->requestActivate();
    return true;
}

Image HostTestSurface(HWND hwnd) {
    WindowRecord* rec = Find(hwnd);
    return rec ? rec->surface : Image();
}

Image HostTestScreenImage(HWND hwnd) {
    HostWindow* w = WindowOf(hwnd);
    if (!w || !w->screen()) return Image();
    const QImage shot = w->screen()->grabWindow(w->winId()).toImage();
    if (shot.isNull()) return Image();
    Image out(shot.width(), shot.height());
    out.impl()->img = shot.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return out;
}

int HostTestPaintCount(HWND hwnd) {
    WindowRecord* rec = Find(hwnd);
    return rec ? rec->paintCount : 0;
}

CRect HostTestLastPaintRect(HWND hwnd) {
    WindowRecord* rec = Find(hwnd);
    return rec ? rec->lastPaintRect : CRect();
}

bool HostTestPaintPending(HWND hwnd) {
    WindowRecord* rec = Find(hwnd);
    return rec && !rec->update.IsRectEmpty();
}

UINT HostTestCursor(HWND hwnd) {
    WindowRecord* rec = Find(hwnd);
    return rec ? rec->cursor : 0;
}

int HostTestSystemMoveCount(HWND hwnd) {
    WindowRecord* rec = Find(hwnd);
    return rec ? rec->systemMoves : 0;
}

void HostTestForgetClicks() {
    for (HWND h : EnumHostWindows())
        if (WindowRecord* rec = Find(h)) rec->lastDownTime = -100000;
}

namespace {

// Dispatches what is queued; a quit stops the pump and is posted again.
bool PumpOnce() {
    MSG msg;
    while (PeekMessageW(&msg, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

}  // namespace

void HostTestPump(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (!PumpOnce()) return;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return;
        WaitMessageTimeout(static_cast<int>(std::min<long long>(left.count(), 5)));
    }
}

bool HostTestPumpUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (done()) return true;
        if (!PumpOnce()) return done();
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        WaitMessageTimeout(2);
    }
}
