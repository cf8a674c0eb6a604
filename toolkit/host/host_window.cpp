// Native windows: one QWindow per toolkit window, painted through a
// QBackingStore; platform events become Windows messages.
//
// Sections: classes and creation - destruction - window state - painting -
// the Qt window (events) - mouse, cursor and capture - screens.
#include <QCloseEvent>
#include <QCursor>
#include <QExposeEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QRegion>
#include <QScreen>
#include <QTimerEvent>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host_internal.h"

namespace tavri::host {

namespace {

QRect ToQRect(const CRect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

CRect ClientRectOf(const WindowRecord* rec) { return CRect(0, 0, rec->rect.Width(), rec->rect.Height()); }

LRESULT Send(HWND hwnd, UINT msg, WPARAM w = 0, LPARAM l = 0) { return ::SendMessageW(hwnd, msg, w, l); }

bool HasArea(const WindowRecord* rec) { return rec->rect.Width() > 0 && rec->rect.Height() > 0; }

// The Qt window shows only while the toolkit window is visible and has an
// area: a zero-sized window exists but has nothing to put on screen.
void SyncQtVisibility(WindowRecord* rec) {
    if (!rec->qwin) return;
    const bool show = rec->visible && HasArea(rec) && !rec->destroying;
    if (show == rec->qwin->isVisible()) return;
    if (show) {
        rec->qwin->setGeometry(ToQRect(rec->rect));
        if (rec->minimized) rec->qwin->showMinimized();
        else rec->qwin->show();
    } else {
        rec->qwin->hide();
    }
}

void RecreateWithAlpha(WindowRecord* rec) {
    if (rec->alphaFormat || !rec->qwin) return;
    rec->alphaFormat = true;
    const bool wasVisible = rec->qwin->isVisible();
    delete rec->store;
    rec->store = nullptr;
    rec->qwin->destroy();
    QSurfaceFormat format = rec->qwin->format();
    format.setAlphaBufferSize(8);
    rec->qwin->setFormat(format);
    rec->store = new QBackingStore(rec->qwin);
    if (wasVisible) {
        rec->qwin->setGeometry(ToQRect(rec->rect));
        rec->qwin->show();
    }
}

}  // namespace

void ApplyWindowFlags(WindowRecord* rec) {
    if (!rec->qwin) return;
    Qt::WindowFlags flags = Qt::FramelessWindowHint;
    if (rec->exStyle & WS_EX_NOACTIVATE) flags |= Qt::ToolTip;
    else if (rec->exStyle & WS_EX_TOOLWINDOW) flags |= Qt::Tool;
    else flags |= Qt::Window;
    if (rec->exStyle & WS_EX_TOPMOST) flags |= Qt::WindowStaysOnTopHint;
    if (rec->exStyle & WS_EX_TRANSPARENT) flags |= Qt::WindowTransparentForInput;
    if (rec->exStyle & WS_EX_NOACTIVATE) flags |= Qt::WindowDoesNotAcceptFocus;
    if (rec->qwin->flags() != flags) {
        const bool wasVisible = rec->qwin->isVisible();
        rec->qwin->setFlags(flags);
        if (wasVisible && !rec->qwin->isVisible()) rec->qwin->show();
    }
    if ((rec->exStyle & WS_EX_LAYERED) && !rec->alphaFormat) RecreateWithAlpha(rec);
}

void FlushDoomed() {
    auto& doomed = H().doomed;
    for (auto it = doomed.begin(); it != doomed.end();) {
        if ((*it)->depth() == 0) {
            delete *it;
            it = doomed.erase(it);
        } else {
            ++it;
        }
    }
}

// ---- painting --------------------------------------------------------------
void EnqueuePaintNow(HWND hwnd) {
    WindowRecord* rec = Find(hwnd);
    if (!rec || rec->paintQueued || rec->update.IsRectEmpty()) return;
    rec->paintQueued = true;
    QueuedMsg m;
    m.msg.hwnd = hwnd;
    m.msg.message = WM_PAINT;
    m.msg.time = MessageTime();
    Enqueue(m);
}

void SchedulePaint(WindowRecord* rec) {
    if (rec->paintQueued || rec->paceTimer || !rec->qwin) return;
    // Paints of one window keep at least the pace interval between them;
    // requests in between are merged into the next paint instead of waiting.
    const qint64 due = rec->lastPaintEnd + kMinPaintIntervalMs - NowMs();
    if (due <= 0) EnqueuePaintNow(rec->handle);
    else rec->paceTimer = rec->qwin->startTimer(static_cast<int>(due), Qt::PreciseTimer);
}

void Present(WindowRecord* rec, const CRect& rect) {
    if (!rec->qwin || !rec->store || !rec->qwin->isExposed() || rec->surface.IsNull()) return;
    CRect r;
    if (!r.IntersectRect(rect, ClientRectOf(rec))) return;
    const QImage& src = rec->surface.impl()->img;
    const QSize size(rec->rect.Width(), rec->rect.Height());
    if (rec->store->size() != size) rec->store->resize(size);
    const QRect qr = ToQRect(r);
    rec->store->beginPaint(QRegion(qr));
    QPaintDevice* device = rec->store->paintDevice();
    const bool layered = (rec->exStyle & WS_EX_LAYERED) != 0;
    auto* target = device && device->devType() == QInternal::Image ? static_cast<QImage*>(device) : nullptr;
    const bool direct = target && !(layered && rec->useColorKey) &&
                        (target->format() == QImage::Format_RGB32 ||
                         target->format() == QImage::Format_ARGB32_Premultiplied) &&
                        target->devicePixelRatio() == 1.0 && QRect(QPoint(0, 0), target->size()).contains(qr);
    if (direct) {
        // Both surfaces hold premultiplied 32-bit pixels: rows are copied as
        // they are, or made opaque on the way (the same as drawing over
        // black) for windows without per-pixel alpha and opaque targets.
        const bool opaque = !layered || target->format() == QImage::Format_RGB32;
        for (int y = qr.top(); y <= qr.bottom(); ++y) {
            const auto* from = reinterpret_cast<const quint32*>(src.constScanLine(y)) + qr.left();
            auto* to = reinterpret_cast<quint32*>(target->scanLine(y)) + qr.left();
            if (!opaque) {
                std::memcpy(to, from, static_cast<std::size_t>(qr.width()) * 4);
            } else {
                for (int x = 0; x < qr.width(); ++x) to[x] = from[x] | 0xFF000000u;
            }
        }
    } else {
        QPainter p(device);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        if (layered && rec->useColorKey) {
            // A colour key makes its pixels holes in the window.
            QImage part = src.copy(qr);
            const QRgb key = qRgb(GetRValue(rec->colorKey), GetGValue(rec->colorKey), GetBValue(rec->colorKey));
            for (int y = 0; y < part.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(part.scanLine(y));
                for (int x = 0; x < part.width(); ++x)
                    if ((line[x] & 0x00FFFFFF) == (key & 0x00FFFFFF)) line[x] = 0;
            }
            p.drawImage(qr.topLeft(), part);
        } else {
            p.drawImage(qr, src, qr);
        }
        if (!layered) {
            // Windows without per-pixel alpha are opaque whatever the surface holds.
            p.setCompositionMode(QPainter::CompositionMode_DestinationOver);
            p.fillRect(qr, Qt::black);
        }
    }
    rec->store->endPaint();
    rec->store->flush(QRegion(qr), rec->qwin);
}

// ---- the Qt window ---------------------------------------------------------
HostWindow::HostWindow(HWND handle) : handle_(handle) { setSurfaceType(QSurface::RasterSurface); }

namespace {

// Keeps the Qt window alive (not deleted) while one of its events runs.
struct DepthGuard {
    explicit DepthGuard(int& d) : depth(d) { ++depth; }
    ~DepthGuard() { --depth; }
    int& depth;
};

unsigned ModBits(Qt::KeyboardModifiers m) {
    return (m & Qt::ShiftModifier ? 1u : 0u) | (m & Qt::ControlModifier ? 2u : 0u) |
           (m & Qt::AltModifier ? 4u : 0u);
}

unsigned ButtonBits(Qt::MouseButtons b) {
    return (b & Qt::LeftButton ? 1u : 0u) | (b & Qt::RightButton ? 2u : 0u) | (b & Qt::MiddleButton ? 4u : 0u);
}

WPARAM MkFlags(Qt::MouseButtons b, Qt::KeyboardModifiers m) {
    WPARAM w = 0;
    if (b & Qt::LeftButton) w |= MK_LBUTTON;
    if (b & Qt::RightButton) w |= MK_RBUTTON;
    if (b & Qt::MiddleButton) w |= MK_MBUTTON;
    if (m & Qt::ShiftModifier) w |= MK_SHIFT;
    if (m & Qt::ControlModifier) w |= MK_CONTROL;
    return w;
}

void QueueMouse(HWND hwnd, UINT message, const QPointF& local, const QPointF& global, Qt::MouseButtons buttons,
                Qt::KeyboardModifiers mods) {
    QueuedMsg m;
    m.msg.hwnd = hwnd;
    m.msg.message = message;
    m.msg.wParam = MkFlags(buttons, mods);
    m.msg.lParam = PointToLParam(static_cast<int>(std::floor(local.x())), static_cast<int>(std::floor(local.y())));
    m.msg.time = MessageTime();
    m.msg.pt = CPoint(static_cast<int>(std::floor(global.x())), static_cast<int>(std::floor(global.y())));
    m.input = true;
    m.modifiers = ModBits(mods);
    m.buttons = ButtonBits(buttons);
    Enqueue(m);
}

bool AcceptsInput(WindowRecord* rec) { return rec && rec->enabled && !rec->destroying; }

}  // namespace

bool HostWindow::event(QEvent* e) {
    DepthGuard guard(depth_);
    WindowRecord* rec = Find(handle_);
    switch (e->type()) {
    case QEvent::Close: {
        // The platform's close button: a system close request, which the
        // window may turn down.
        e->ignore();
        if (rec && !rec->destroying) Send(handle_, WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    }
    case QEvent::Enter:
        if (rec) {
            rec->mouseInside = true;
            H().mouseWindow = handle_;
        }
        break;
    case QEvent::Leave:
        if (rec) {
            rec->mouseInside = false;
            if (H().mouseWindow == handle_) H().mouseWindow = nullptr;
            if (rec->trackLeave) {
                rec->trackLeave = false;
                rec->trackHover = false;
                if (rec->hoverTimer) {
                    killTimer(rec->hoverTimer);
                    rec->hoverTimer = 0;
                }
                QueuedMsg m;
                m.msg.hwnd = handle_;
                m.msg.message = WM_MOUSELEAVE;
                m.msg.time = MessageTime();
                Enqueue(m);
            }
        }
        break;
    case QEvent::WindowStateChange:
        if (rec && !rec->destroying) {
            const bool minimized = (windowStates() & Qt::WindowMinimized) != 0;
            if (minimized != rec->minimized && isVisible()) {
                rec->minimized = minimized;
                Send(handle_, WM_SIZE, minimized ? SIZE_MINIMIZED : SIZE_RESTORED,
                     minimized ? 0 : MAKELPARAM(rec->rect.Width(), rec->rect.Height()));
                if (!minimized) ::InvalidateRect(handle_, nullptr, 0);
            }
        }
        break;
    default:
        break;
    }
    return QWindow::event(e);
}

void HostWindow::exposeEvent(QExposeEvent*) {
    WindowRecord* rec = Find(handle_);
    if (!rec || !isExposed()) return;
    // What the platform lost is repainted from the surface when it is
    // current, else through a paint.
    if (rec->paintCount > 0 && rec->surface.Size() == rec->rect.Size()) Present(rec, ClientRectOf(rec));
    else ::InvalidateRect(handle_, nullptr, 0);
}

void HostWindow::resizeEvent(QResizeEvent*) {
    WindowRecord* rec = Find(handle_);
    if (!rec || rec->destroying || !isVisible()) return;
    const QRect g = geometry();
    if (g.width() == rec->rect.Width() && g.height() == rec->rect.Height()) return;
    // A change the platform made (not one the toolkit asked for).
    rec->rect = CRect(rec->rect.left, rec->rect.top, rec->rect.left + g.width(), rec->rect.top + g.height());
    Send(handle_, WM_SIZE, rec->maximized ? SIZE_MAXIMIZED : SIZE_RESTORED, MAKELPARAM(g.width(), g.height()));
    ::InvalidateRect(handle_, nullptr, 0);
}

void HostWindow::moveEvent(QMoveEvent*) {
    WindowRecord* rec = Find(handle_);
    if (!rec || rec->destroying || !isVisible()) return;
    const QRect g = geometry();
    if (g.x() == rec->rect.left && g.y() == rec->rect.top) return;
    rec->rect = CRect(g.x(), g.y(), g.x() + rec->rect.Width(), g.y() + rec->rect.Height());
    Send(handle_, WM_MOVE, 0, MAKELPARAM(g.x(), g.y()));
}

void HostWindow::mousePressEvent(QMouseEvent* e) {
    DepthGuard guard(depth_);
    WindowRecord* rec = Find(handle_);
    H().cursorPos = e->globalPosition();
    if (!AcceptsInput(rec)) return;
    const qint64 now = NowMs();
    const QPoint pos = e->position().toPoint();
    // Windows' rule: a second press of the same button within the double-click
    // time and 4 x 4 pixels is a double click, and a third starts over.
    const bool dbl = (rec->classStyle & CS_DBLCLKS) && !rec->lastDownWasDouble &&
                     e->button() == rec->lastDownButton &&
                     now - rec->lastDownTime <= static_cast<qint64>(::GetDoubleClickTime()) &&
                     std::abs(pos.x() - rec->lastDownPos.x()) <= 2 && std::abs(pos.y() - rec->lastDownPos.y()) <= 2;
    rec->lastDownButton = e->button();
    rec->lastDownTime = now;
    rec->lastDownPos = pos;
    rec->lastDownWasDouble = dbl;
    UINT msg = 0;
    switch (e->button()) {
    case Qt::LeftButton: msg = dbl ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN; break;
    case Qt::RightButton: msg = dbl ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN; break;
    case Qt::MiddleButton: msg = dbl ? WM_MBUTTONDBLCLK : WM_MBUTTONDOWN; break;
    default: return;
    }
    QueueMouse(handle_, msg, e->position(), e->globalPosition(), e->buttons(), e->modifiers());
}

void HostWindow::mouseReleaseEvent(QMouseEvent* e) {
    DepthGuard guard(depth_);
    WindowRecord* rec = Find(handle_);
    H().cursorPos = e->globalPosition();
    if (rec && rec->manualMove && e->button() == Qt::LeftButton) {
        rec->manualMove = false;
        return;
    }
    if (!AcceptsInput(rec)) return;
    UINT msg = 0;
    switch (e->button()) {
    case Qt::LeftButton: msg = WM_LBUTTONUP; break;
    case Qt::RightButton: msg = WM_RBUTTONUP; break;
    case Qt::MiddleButton: msg = WM_MBUTTONUP; break;
    default: return;
    }
    QueueMouse(handle_, msg, e->position(), e->globalPosition(), e->buttons(), e->modifiers());
}

void HostWindow::mouseDoubleClickEvent(QMouseEvent*) {
    // Double clicks are recognised in mousePressEvent, Windows' way.
}

void HostWindow::mouseMoveEvent(QMouseEvent* e) {
    DepthGuard guard(depth_);
    WindowRecord* rec = Find(handle_);
    H().cursorPos = e->globalPosition();
    if (!rec || rec->destroying) return;
    if (rec->manualMove) {
        if (!(e->buttons() & Qt::LeftButton)) {
            rec->manualMove = false;
        } else {
            // After the window moved, the platform may repeat the last event at
            // the same window position; only the cursor's own moves count.
            if (rec->manualMoved && e->position() == rec->manualLastLocal) {
                rec->manualMoved = false;
                return;
            }
            rec->manualLastLocal = e->position();
            const QPointF d = e->globalPosition() - rec->moveStartCursor;
            const CRect before = rec->rect;
            ::SetWindowPos(handle_, nullptr, rec->moveStartRect.left + static_cast<int>(d.x()),
                           rec->moveStartRect.top + static_cast<int>(d.y()), 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            if ((rec = Find(handle_)) != nullptr) rec->manualMoved = rec->rect != before;
            return;
        }
    }
    if (!AcceptsInput(rec)) return;
    H().mouseWindow = handle_;
    if (rec->trackHover) {
        if (rec->hoverTimer) killTimer(rec->hoverTimer);
        rec->hoverTimer = startTimer(rec->hoverTime, Qt::PreciseTimer);
    }
    QueueMouse(handle_, WM_MOUSEMOVE, e->position(), e->globalPosition(), e->buttons(), e->modifiers());
}

void HostWindow::wheelEvent(QWheelEvent* e) {
    DepthGuard guard(depth_);
    WindowRecord* rec = Find(handle_);
    if (!AcceptsInput(rec)) return;
    const int delta = e->angleDelta().y();
    if (delta == 0) return;
    QueuedMsg m;
    m.msg.hwnd = handle_;
    m.msg.message = WM_MOUSEWHEEL;
    m.msg.wParam = MAKEWPARAM(static_cast<int>(MkFlags(e->buttons(), e->modifiers())), delta);
    // The wheel's point is in screen coordinates, as Windows gives it.
    const QPointF g = e->globalPosition();
    m.msg.lParam = PointToLParam(static_cast<int>(g.x()), static_cast<int>(g.y()));
    m.msg.pt = CPoint(static_cast<int>(g.x()), static_cast<int>(g.y()));
    m.msg.time = MessageTime();
    m.input = true;
    m.modifiers = ModBits(e->modifiers());
    m.buttons = ButtonBits(e->buttons());
    Enqueue(m);
}

void HostWindow::keyEvent(QKeyEvent* e, bool down) {
    DepthGuard guard(depth_);
    WindowRecord* rec = Find(handle_);
    if (!AcceptsInput(rec)) return;
    const UINT vk = QtKeyToVk(e->key(), e->modifiers());
    if (!vk) return;
    const bool alt = (e->modifiers() & Qt::AltModifier) != 0 || vk == VK_MENU;
    const bool sys = (alt && !(e->modifiers() & Qt::ControlModifier)) || vk == VK_F10;
    QueuedMsg m;
    m.msg.hwnd = handle_;
    m.msg.message = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
    m.msg.wParam = vk;
    // Repeat count 1; bit 29 Alt held; bit 30 previous state; bit 31 released.
    LPARAM l = 1;
    if (alt) l |= (1 << 29);
    if (!down || e->isAutoRepeat()) l |= (1 << 30);
    if (!down) l |= static_cast<LPARAM>(static_cast<DWORD>(1u << 31));
    m.msg.lParam = l;
    m.msg.time = MessageTime();
    m.input = true;
    Qt::KeyboardModifiers mods = e->modifiers();
    // The modifier's own press already counts as held.
    if (vk == VK_SHIFT) mods.setFlag(Qt::ShiftModifier, down);
    if (vk == VK_CONTROL) mods.setFlag(Qt::ControlModifier, down);
    if (vk == VK_MENU) mods.setFlag(Qt::AltModifier, down);
    m.modifiers = ModBits(mods);
    m.buttons = ButtonBits(QGuiApplication::mouseButtons());
    m.vk = vk;
    m.vkDown = down;
    const QString text = e->text();
    if (down && !text.isEmpty() && text.at(0).unicode() >= 0x20 && text.at(0).unicode() != 0x7F)
        m.ch = text.toUcs4().value(0);
    else if (down && (vk == VK_RETURN || vk == VK_BACK || vk == VK_TAB || vk == VK_ESCAPE))
        m.ch = vk;
    Enqueue(m);
}

void HostWindow::keyPressEvent(QKeyEvent* e) { keyEvent(e, true); }
void HostWindow::keyReleaseEvent(QKeyEvent* e) { keyEvent(e, false); }

void HostWindow::focusInEvent(QFocusEvent*) {
    DepthGuard guard(depth_);
    WindowRecord* rec = Find(handle_);
    if (!rec || rec->destroying) return;
    Send(handle_, WM_NCACTIVATE, 1, 0);
    Send(handle_, WM_ACTIVATE, WA_ACTIVE, 0);
    if (Find(handle_)) Send(handle_, WM_SETFOCUS, 0, 0);
}

void HostWindow::focusOutEvent(QFocusEvent*) {
    DepthGuard guard(depth_);
    WindowRecord* rec = Find(handle_);
    if (!rec || rec->destroying) return;
    Send(handle_, WM_NCACTIVATE, 0, 0);
    Send(handle_, WM_ACTIVATE, WA_INACTIVE, 0);
    if (Find(handle_)) Send(handle_, WM_KILLFOCUS, 0, 0);
}

void HostWindow::timerEvent(QTimerEvent* e) {
    DepthGuard guard(depth_);
    WindowRecord* rec = Find(handle_);
    if (!rec) {
        killTimer(e->timerId());
        return;
    }
    const int id = e->timerId();
    if (id == rec->paceTimer) {
        killTimer(id);
        rec->paceTimer = 0;
        EnqueuePaintNow(handle_);
        return;
    }
    if (id == rec->hoverTimer) {
        killTimer(id);
        rec->hoverTimer = 0;
        if (rec->trackHover && rec->mouseInside) {
            rec->trackHover = false;
            QueuedMsg m;
            m.msg.hwnd = handle_;
            m.msg.message = WM_MOUSEHOVER;
            const QPointF local = mapFromGlobal(H().cursorPos);
            m.msg.lParam = PointToLParam(static_cast<int>(local.x()), static_cast<int>(local.y()));
            m.msg.time = MessageTime();
            Enqueue(m);
        }
        return;
    }
    for (const auto& [tid, qtId] : rec->timers) {
        if (qtId != id) continue;
        QueuedMsg m;
        m.msg.hwnd = handle_;
        m.msg.message = WM_TIMER;
        m.msg.wParam = tid;
        m.msg.time = MessageTime();
        Enqueue(m);
        return;
    }
    killTimer(id);
}

}  // namespace tavri::host

using namespace tavri::host;

// ---- classes and creation --------------------------------------------------
bool RegisterClassW(const wchar_t* className, WNDPROC proc, UINT classStyle) {
    if (!className || !*className || !proc) return false;
    return H().classes.emplace(CString(className), std::make_pair(proc, classStyle)).second;
}

bool IsClassRegistered(const wchar_t* className) {
    return className && H().classes.count(CString(className)) != 0;
}

HWND CreateWindowExW(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x, int y,
                     int width, int height, HWND owner, HINSTANCE instance, void* param) {
    if (!OnUiThread() || !className) return nullptr;
    auto cls = H().classes.find(CString(className));
    if (cls == H().classes.end()) return nullptr;
    if (owner && !Find(owner)) owner = nullptr;

    auto* rec = new WindowRecord;
    {
        std::lock_guard<std::mutex> lock(H().wlock);
        H().nextHandle += 4;
        rec->handle = reinterpret_cast<HWND>(H().nextHandle);
        H().windows[rec->handle] = rec;
        H().order.push_back(rec->handle);
    }
    const HWND hwnd = rec->handle;
    rec->className = className;
    rec->title = title ? title : L"";
    rec->proc = cls->second.first;
    rec->classStyle = cls->second.second;
    rec->style = style & ~WS_VISIBLE;
    rec->exStyle = exStyle;
    rec->owner = owner;
    rec->rect = CRect(x, y, x + std::max(width, 0), y + std::max(height, 0));
    rec->enabled = !(style & WS_DISABLED);

    rec->qwin = new HostWindow(hwnd);
    if (exStyle & WS_EX_LAYERED) {
        QSurfaceFormat format;
        format.setAlphaBufferSize(8);
        rec->qwin->setFormat(format);
        rec->alphaFormat = true;
    }
    rec->qwin->setTitle(QString::fromStdWString(rec->title));
    if (owner) rec->qwin->setTransientParent(Find(owner)->qwin);
    ApplyWindowFlags(rec);
    rec->qwin->setGeometry(ToQRect(rec->rect));
    rec->store = new QBackingStore(rec->qwin);

    CREATESTRUCT cs;
    cs.lpCreateParams = param;
    cs.hInstance = instance;
    cs.hwndParent = owner;
    cs.cx = rec->rect.Width();
    cs.cy = rec->rect.Height();
    cs.x = x;
    cs.y = y;
    cs.style = style;
    cs.lpszName = title;
    cs.lpszClass = className;
    cs.dwExStyle = exStyle;
    if (!Send(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
        ::DestroyWindow(hwnd);
        return nullptr;
    }
    if (!Find(hwnd) || Send(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        ::DestroyWindow(hwnd);
        return nullptr;
    }
    if (!(rec = Find(hwnd))) return nullptr;
    Send(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(rec->rect.Width(), rec->rect.Height()));
    Send(hwnd, WM_MOVE, 0, MAKELPARAM(rec->rect.left, rec->rect.top));
    if ((style & WS_VISIBLE) && Find(hwnd)) ::ShowWindow(hwnd, SW_SHOW);
    return Find(hwnd) ? hwnd : nullptr;
}

// ---- destruction -----------------------------------------------------------
BOOL DestroyWindow(HWND hwnd) {
    if (!OnUiThread()) return 0;
    WindowRecord* rec = Find(hwnd);
    if (!rec || rec->destroying) return 0;
    rec->destroying = true;
    // Owned windows go first, as on Windows.
    std::vector<HWND> owned;
    {
        std::lock_guard<std::mutex> lock(H().wlock);
        for (HWND h : H().order) {
            auto it = H().windows.find(h);
            if (it != H().windows.end() && it->second->owner == hwnd) owned.push_back(h);
        }
    }
    for (HWND h : owned) ::DestroyWindow(h);
    if (rec->visible) {
        rec->visible = false;
        SyncQtVisibility(rec);
    }
    if (H().capture == hwnd) ::ReleaseCapture();
    Send(hwnd, WM_DESTROY, 0, 0);
    Send(hwnd, WM_NCDESTROY, 0, 0);

    for (const auto& [tid, qtId] : rec->timers) rec->qwin->killTimer(qtId);
    rec->timers.clear();
    {
        std::lock_guard<std::mutex> lock(H().wlock);
        H().windows.erase(hwnd);
        H().order.erase(std::remove(H().order.begin(), H().order.end(), hwnd), H().order.end());
        for (auto& [h, other] : H().windows)
            if (other->owner == hwnd) other->owner = nullptr;
    }
    DropQueuedFor(hwnd);
    if (H().mouseWindow == hwnd) H().mouseWindow = nullptr;
    delete rec->store;
    rec->qwin->detach();
    rec->qwin->hide();
    H().doomed.push_back(rec->qwin);
    delete rec;
    return 1;
}

BOOL IsWindow(HWND hwnd) { return Find(hwnd) != nullptr; }

LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

LRESULT DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_NCCREATE:
        return 1;
    case WM_NCACTIVATE:
        return 1;
    case WM_CLOSE:
        ::DestroyWindow(hwnd);
        return 0;
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case SC_CLOSE: return Send(hwnd, WM_CLOSE, 0, 0);
        case SC_MINIMIZE: ::ShowWindow(hwnd, SW_MINIMIZE); return 0;
        case SC_MAXIMIZE: ::ShowWindow(hwnd, SW_MAXIMIZE); return 0;
        case SC_RESTORE: ::ShowWindow(hwnd, SW_RESTORE); return 0;
        default: return 0;
        }
    case WM_SYSKEYDOWN:
        if (wParam == VK_F4 && (lParam & (1 << 29))) Send(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case WM_NCLBUTTONDOWN:
        if (wParam == HTCAPTION) HostStartSystemMove(hwnd);
        return 0;
    case WM_WINDOWPOSCHANGED: {
        auto* wp = reinterpret_cast<WINDOWPOS*>(lParam);
        if (!wp) return 0;
        if (!(wp->flags & SWP_NOSIZE)) Send(hwnd, WM_SIZE, IsZoomed(hwnd) ? SIZE_MAXIMIZED : SIZE_RESTORED,
                                            MAKELPARAM(wp->cx, wp->cy));
        if (!(wp->flags & SWP_NOMOVE)) Send(hwnd, WM_MOVE, 0, MAKELPARAM(wp->x, wp->y));
        return 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        ::BeginPaint(hwnd, &ps);
        ::EndPaint(hwnd, &ps);
        return 0;
    }
    default:
        return 0;
    }
}

// ---- window state ----------------------------------------------------------
LONG_PTR GetWindowLongPtrW(HWND hwnd, int index) {
    WindowRecord* rec = Find(hwnd);
    if (!rec) return 0;
    switch (index) {
    case GWL_STYLE: return static_cast<LONG_PTR>(rec->style | (rec->visible ? WS_VISIBLE : 0) |
                                                 (rec->enabled ? 0 : WS_DISABLED) |
                                                 (rec->minimized ? WS_MINIMIZE : 0));
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(rec->exStyle);
    case GWLP_USERDATA: return rec->userData;
    case GWL_WNDPROC: return reinterpret_cast<LONG_PTR>(rec->proc);
    default: return 0;
    }
}

LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
    WindowRecord* rec = Find(hwnd);
    if (!rec || !OnUiThread()) return 0;
    const LONG_PTR old = GetWindowLongPtrW(hwnd, index);
    switch (index) {
    case GWL_STYLE:
        // Visibility and enabling have their own calls.
        rec->style = static_cast<DWORD>(value) & ~(WS_VISIBLE | WS_DISABLED | WS_MINIMIZE);
        break;
    case GWL_EXSTYLE:
        rec->exStyle = static_cast<DWORD>(value);
        ApplyWindowFlags(rec);
        break;
    case GWLP_USERDATA:
        rec->userData = value;
        break;
    case GWL_WNDPROC:
        if (value) rec->proc = reinterpret_cast<WNDPROC>(value);
        break;
    default:
        return 0;
    }
    return old;
}

HWND GetWindow(HWND hwnd, UINT relation) {
    WindowRecord* rec = Find(hwnd);
    if (!rec || relation != GW_OWNER) return nullptr;
    return rec->owner;
}

CString GetClassNameW(HWND hwnd) {
    WindowRecord* rec = Find(hwnd);
    return rec ? rec->className : CString();
}

BOOL SetWindowTextW(HWND hwnd, const wchar_t* text) {
    WindowRecord* rec = Find(hwnd);
    if (!rec || !OnUiThread()) return 0;
    rec->title = text ? text : L"";
    if (rec->qwin) rec->qwin->setTitle(QString::fromStdWString(rec->title));
    return 1;
}

CString GetWindowTextW(HWND hwnd) {
    WindowRecord* rec = Find(hwnd);
    return rec ? rec->title : CString();
}

std::vector<HWND> EnumHostWindows() {
    std::lock_guard<std::mutex> lock(H().wlock);
    return H().order;
}

HWND FindWindowW(const wchar_t* className, const wchar_t* title) {
    for (HWND h : EnumHostWindows()) {
        WindowRecord* rec = Find(h);
        if (!rec || rec->destroying) continue;
        if (className && rec->className != className) continue;
        if (title && rec->title != title) continue;
        return h;
    }
    return nullptr;
}

BOOL ShowWindow(HWND hwnd, int cmd) {
    WindowRecord* rec = Find(hwnd);
    if (!rec || !OnUiThread() || rec->destroying) return 0;
    const BOOL wasVisible = rec->visible ? 1 : 0;
    const bool activate = cmd != SW_SHOWNOACTIVATE && cmd != SW_SHOWNA && cmd != SW_SHOWMINNOACTIVE &&
                          !(rec->exStyle & WS_EX_NOACTIVATE);
    switch (cmd) {
    case SW_HIDE:
        if (!rec->visible) return wasVisible;
        Send(hwnd, WM_SHOWWINDOW, 0, 0);
        if (!(rec = Find(hwnd))) return wasVisible;
        rec->visible = false;
        SyncQtVisibility(rec);
        return wasVisible;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
        if (!rec->visible) Send(hwnd, WM_SHOWWINDOW, 1, 0);
        if (!(rec = Find(hwnd))) return wasVisible;
        rec->visible = true;
        if (!rec->minimized) {
            rec->minimized = true;
            if (rec->qwin && rec->qwin->isVisible()) rec->qwin->showMinimized();
            SyncQtVisibility(rec);
            Send(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
        }
        return wasVisible;
    case SW_SHOWMAXIMIZED: {
        if (!rec->visible) Send(hwnd, WM_SHOWWINDOW, 1, 0);
        if (!(rec = Find(hwnd))) return wasVisible;
        rec->visible = true;
        rec->minimized = false;
        if (!rec->maximized) {
            rec->maximized = true;
            rec->restoreRect = rec->rect;
            const CRect work = GetWorkAreaNear(rec->rect);
            ::SetWindowPos(hwnd, nullptr, work.left, work.top, work.Width(), work.Height(), SWP_NOZORDER);
            if (!(rec = Find(hwnd))) return wasVisible;
        }
        SyncQtVisibility(rec);
        if (activate && rec->qwin) rec->qwin->requestActivate();
        return wasVisible;
    }
    case SW_RESTORE:
    case SW_SHOWNORMAL:
    default: {
        if (!rec->visible) Send(hwnd, WM_SHOWWINDOW, 1, 0);
        if (!(rec = Find(hwnd))) return wasVisible;
        const bool becameVisible = !rec->visible;
        rec->visible = true;
        if (rec->minimized && cmd != SW_SHOW && cmd != SW_SHOWNA) {
            rec->minimized = false;
            if (rec->qwin) rec->qwin->showNormal();
            Send(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(rec->rect.Width(), rec->rect.Height()));
            if (!(rec = Find(hwnd))) return wasVisible;
        }
        if (rec->maximized && (cmd == SW_RESTORE || cmd == SW_SHOWNORMAL)) {
            rec->maximized = false;
            const CRect r = rec->restoreRect;
            ::SetWindowPos(hwnd, nullptr, r.left, r.top, r.Width(), r.Height(), SWP_NOZORDER);
            if (!(rec = Find(hwnd))) return wasVisible;
        }
        SyncQtVisibility(rec);
        if (becameVisible) ::InvalidateRect(hwnd, nullptr, 1);
        if (activate && rec->qwin && rec->qwin->isVisible()) {
            rec->qwin->requestActivate();
            rec->qwin->raise();
        }
        return wasVisible;
    }
    }
}

BOOL IsWindowVisible(HWND hwnd) {
    WindowRecord* rec = Find(hwnd);
    return rec && rec->visible ? 1 : 0;
}

BOOL IsIconic(HWND hwnd) {
    WindowRecord* rec = Find(hwnd);
    return rec && rec->minimized ? 1 : 0;
}

BOOL IsZoomed(HWND hwnd) {
    WindowRecord* rec = Find(hwnd);
    return rec && rec->maximized ? 1 : 0;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    WindowRecord* rec = Find(hwnd);
    if (!rec || !OnUiThread()) return 0;
    const BOOL wasDisabled = rec->enabled ? 0 : 1;
    const bool on = enable != 0;
    if (rec->enabled == on) return wasDisabled;
    rec->enabled = on;
    if (!on && H().capture == hwnd) ::ReleaseCapture();
    Send(hwnd, WM_ENABLE, on ? 1 : 0, 0);
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND hwnd) {
    WindowRecord* rec = Find(hwnd);
    return rec && rec->enabled ? 1 : 0;
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    WindowRecord* rec = Find(hwnd);
    if (!rec || !OnUiThread() || rec->destroying) return 0;
    WINDOWPOS wp;
    wp.hwnd = hwnd;
    wp.hwndInsertAfter = insertAfter;
    wp.x = (flags & SWP_NOMOVE) ? rec->rect.left : x;
    wp.y = (flags & SWP_NOMOVE) ? rec->rect.top : y;
    wp.cx = (flags & SWP_NOSIZE) ? rec->rect.Width() : std::max(cx, 0);
    wp.cy = (flags & SWP_NOSIZE) ? rec->rect.Height() : std::max(cy, 0);
    wp.flags = flags;
    Send(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&wp));
    if (!(rec = Find(hwnd))) return 0;
    const bool moved = wp.x != rec->rect.left || wp.y != rec->rect.top;
    const bool sized = wp.cx != rec->rect.Width() || wp.cy != rec->rect.Height();
    if (!moved) wp.flags |= SWP_NOMOVE;
    if (!sized) wp.flags |= SWP_NOSIZE;
    rec->rect = CRect(wp.x, wp.y, wp.x + wp.cx, wp.y + wp.cy);
    if (rec->qwin && (moved || sized) && HasArea(rec)) rec->qwin->setGeometry(ToQRect(rec->rect));
    if (!(flags & SWP_NOZORDER) && rec->qwin) {
        if (insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST) {
            if (insertAfter == HWND_TOPMOST) rec->exStyle |= WS_EX_TOPMOST;
            else rec->exStyle &= ~WS_EX_TOPMOST;
            ApplyWindowFlags(rec);
        }
        if (insertAfter == HWND_BOTTOM) rec->qwin->lower();
        else rec->qwin->raise();
    }
    if (flags & SWP_SHOWWINDOW) ::ShowWindow(hwnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    if (flags & SWP_HIDEWINDOW) ::ShowWindow(hwnd, SW_HIDE);
    if (!(rec = Find(hwnd))) return 1;
    SyncQtVisibility(rec);
    if (sized && !(flags & SWP_NOREDRAW)) ::InvalidateRect(hwnd, nullptr, 1);
    if (moved || sized || (flags & SWP_FRAMECHANGED))
        Send(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
    return 1;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
    return ::SetWindowPos(hwnd, nullptr, x, y, width, height,
                          SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL GetWindowRect(HWND hwnd, CRect* rect) {
    WindowRecord* rec = Find(hwnd);
    if (!rec || !rect) return 0;
    *rect = rec->rect;
    return 1;
}

BOOL GetClientRect(HWND hwnd, CRect* rect) {
    WindowRecord* rec = Find(hwnd);
    if (!rec || !rect) return 0;
    *rect = ClientRectOf(rec);
    return 1;
}

BOOL ClientToScreen(HWND hwnd, CPoint* pt) {
    WindowRecord* rec = Find(hwnd);
    if (!rec || !pt) return 0;
    pt->x += rec->rect.left;
    pt->y += rec->rect.top;
    return 1;
}

BOOL ScreenToClient(HWND hwnd, CPoint* pt) {
    WindowRecord* rec = Find(hwnd);
    if (!rec || !pt) return 0;
    pt->x -= rec->rect.left;
    pt->y -= rec->rect.top;
    return 1;
}

BOOL BringWindowToTop(HWND hwnd) {
    WindowRecord* rec = Find(hwnd);
    if (!rec || !rec->qwin || !OnUiThread()) return 0;
    rec->qwin->raise();
    return 1;
}

BOOL SetForegroundWindow(HWND hwnd) {
    WindowRecord* rec = Find(hwnd);
    if (!rec || !rec->qwin || !OnUiThread()) return 0;
    rec->qwin->raise();
    rec->qwin->requestActivate();
    return 1;
}

HWND SetActiveWindow(HWND hwnd) {
    const HWND old = GetActiveWindow();
    SetForegroundWindow(hwnd);
    return old;
}

HWND GetActiveWindow() {
    auto* w = dynamic_cast<HostWindow*>(QGuiApplication::focusWindow());
    return w ? w->handle() : nullptr;
}

HWND GetForegroundWindow() { return GetActiveWindow(); }

HWND SetFocus(HWND hwnd) {
    const HWND old = GetActiveWindow();
    if (hwnd && hwnd != old) SetForegroundWindow(hwnd);
    return old;
}

HWND GetFocus() { return GetActiveWindow(); }

BOOL SetLayeredWindowAttributes(HWND hwnd, COLORREF key, BYTE alpha, DWORD flags) {
    WindowRecord* rec = Find(hwnd);
    if (!rec || !OnUiThread()) return 0;
    if (flags & LWA_ALPHA) {
        rec->constAlpha = alpha;
        if (rec->qwin) rec->qwin->setOpacity(alpha / 255.0);
    }
    rec->useColorKey = (flags & LWA_COLORKEY) != 0;
    rec->colorKey = key;
    if (rec->useColorKey) {
        rec->exStyle |= WS_EX_LAYERED;
        ApplyWindowFlags(rec);
    }
    ::InvalidateRect(hwnd, nullptr, 0);
    return 1;
}

BOOL SetWindowRoundRegion(HWND hwnd, int radius) {
    WindowRecord* rec = Find(hwnd);
    if (!rec || !rec->qwin || !OnUiThread()) return 0;
    rec->roundRadius = radius;
    if (radius <= 0) {
        rec->qwin->setMask(QRegion());
        return 1;
    }
    const int w = rec->rect.Width();
    const int h = rec->rect.Height();
    QRegion region(0, 0, w, h);
    const int d = radius * 2;
    // Cut the four corners away outside the quarter circles.
    QRegion corner(0, 0, radius, radius);
    QRegion tl = corner - QRegion(0, 0, d, d, QRegion::Ellipse);
    QRegion tr = QRegion(w - radius, 0, radius, radius) - QRegion(w - d, 0, d, d, QRegion::Ellipse);
    QRegion bl = QRegion(0, h - radius, radius, radius) - QRegion(0, h - d, d, d, QRegion::Ellipse);
    QRegion br = QRegion(w - radius, h - radius, radius, radius) - QRegion(w - d, h - d, d, d, QRegion::Ellipse);
    rec->qwin->setMask(region - tl - tr - bl - br);
    return 1;
}

// ---- painting --------------------------------------------------------------
BOOL InvalidateRect(HWND hwnd, const CRect* rect, BOOL erase) {
    if (!OnUiThread()) {
        // Another thread's repaint request is carried over to the UI thread.
        if (!Find(hwnd)) return 0;
        const bool whole = rect == nullptr;
        const CRect r = rect ? *rect : CRect();
        return HostInvokeOnUiThread([hwnd, whole, r, erase] { ::InvalidateRect(hwnd, whole ? nullptr : &r, erase); })
                   ? 1
                   : 0;
    }
    WindowRecord* rec = Find(hwnd);
    if (!rec) return 0;
    const CRect client = ClientRectOf(rec);
    CRect r = rect ? *rect : client;
    if (!r.IntersectRect(r, client)) return 1;
    rec->update.UnionRect(rec->update, r);
    if (erase) rec->updateErase = true;
    SchedulePaint(rec);
    return 1;
}

BOOL ValidateRect(HWND hwnd, const CRect* rect) {
    WindowRecord* rec = Find(hwnd);
    if (!rec) return 0;
    // The update is one rectangle: validating part of it keeps the whole.
    if (!rect || (rect->left <= rec->update.left && rect->top <= rec->update.top &&
                  rect->right >= rec->update.right && rect->bottom >= rec->update.bottom)) {
        rec->update.SetRectEmpty();
        rec->updateErase = false;
    }
    return 1;
}

BOOL GetUpdateRect(HWND hwnd, CRect* rect, BOOL) {
    WindowRecord* rec = Find(hwnd);
    if (!rec) return 0;
    if (rect) *rect = rec->update;
    return rec->update.IsRectEmpty() ? 0 : 1;
}

BOOL UpdateWindow(HWND hwnd) {
    WindowRecord* rec = Find(hwnd);
    if (!rec || !OnUiThread()) return 0;
    if (rec->update.IsRectEmpty() || !rec->visible) return 1;
    if (rec->paceTimer) {
        rec->qwin->killTimer(rec->paceTimer);
        rec->paceTimer = 0;
    }
    rec->paintQueued = false;
    Send(hwnd, WM_PAINT, 0, 0);
    if ((rec = Find(hwnd)) != nullptr) rec->update.SetRectEmpty();
    return 1;
}

Image* BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
    WindowRecord* rec = Find(hwnd);
    if (!rec || !ps) return nullptr;
    ps->rcPaint = rec->update;
    ps->fErase = rec->updateErase ? 1 : 0;
    rec->update.SetRectEmpty();
    rec->updateErase = false;
    if (ps->fErase) Send(hwnd, WM_ERASEBKGND, 0, 0);
    if (!(rec = Find(hwnd))) return nullptr;
    const CSize size = rec->rect.Size();
    if (size.cx <= 0 || size.cy <= 0) {
        ps->surface = nullptr;
        ps->rcPaint.SetRectEmpty();
        return nullptr;
    }
    if (rec->surface.Size() != size) rec->surface = Image(size.cx, size.cy);
    ps->surface = &rec->surface;
    return ps->surface;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
    WindowRecord* rec = Find(hwnd);
    if (!rec || !ps) return 0;
    if (ps->surface && !ps->rcPaint.IsRectEmpty()) {
        Present(rec, ps->rcPaint);
        ++rec->paintCount;
        rec->lastPaintRect = ps->rcPaint;
    }
    rec->lastPaintEnd = NowMs();
    return 1;
}

// ---- mouse, cursor and capture ---------------------------------------------
HWND SetCapture(HWND hwnd) {
    const HWND old = H().capture;
    WindowRecord* rec = Find(hwnd);
    if (!rec || !OnUiThread()) return old;
    H().capture = hwnd;
    if (rec->qwin) rec->qwin->setMouseGrabEnabled(true);
    return old;
}

BOOL ReleaseCapture() {
    const HWND old = H().capture;
    if (!old) return 1;
    H().capture = nullptr;
    if (WindowRecord* rec = Find(old)) {
        if (rec->qwin) rec->qwin->setMouseGrabEnabled(false);
        Send(old, WM_CAPTURECHANGED, 0, 0);
    }
    return 1;
}

HWND GetCapture() { return Find(H().capture) ? H().capture : nullptr; }

BOOL TrackMouseEvent(TRACKMOUSEEVENT* tme) {
    if (!tme) return 0;
    WindowRecord* rec = Find(tme->hwndTrack);
    if (!rec) return 0;
    if (tme->dwFlags & TME_CANCEL) {
        if (tme->dwFlags & TME_LEAVE) rec->trackLeave = false;
        if (tme->dwFlags & TME_HOVER) rec->trackHover = false;
        return 1;
    }
    if (tme->dwFlags & TME_LEAVE) rec->trackLeave = true;
    if (tme->dwFlags & TME_HOVER) {
        rec->trackHover = true;
        rec->hoverTime = tme->dwHoverTime == HOVER_DEFAULT ? 400 : static_cast<int>(tme->dwHoverTime);
        if (rec->qwin) {
            if (rec->hoverTimer) rec->qwin->killTimer(rec->hoverTimer);
            rec->hoverTimer = rec->qwin->startTimer(rec->hoverTime, Qt::PreciseTimer);
        }
    }
    return 1;
}

HCURSOR LoadCursorW(HINSTANCE, UINT id) {
    switch (id) {
    case IDC_ARROW: case IDC_IBEAM: case IDC_WAIT: case IDC_CROSS: case IDC_SIZEWE: case IDC_SIZENS:
    case IDC_HAND: case IDC_HELP:
        return reinterpret_cast<HCURSOR>(static_cast<std::uintptr_t>(id));
    default:
        return nullptr;
    }
}

HCURSOR SetCursor(HCURSOR cursor) {
    const HCURSOR old = LoadCursorW(nullptr, H().currentCursor);
    if (!cursor) return old;
    const UINT id = static_cast<UINT>(reinterpret_cast<std::uintptr_t>(cursor));
    H().cursorSetInDispatch = true;
    H().currentCursor = id;
    Qt::CursorShape shape = Qt::ArrowCursor;
    switch (id) {
    case IDC_IBEAM: shape = Qt::IBeamCursor; break;
    case IDC_WAIT: shape = Qt::WaitCursor; break;
    case IDC_CROSS: shape = Qt::CrossCursor; break;
    case IDC_SIZEWE: shape = Qt::SizeHorCursor; break;
    case IDC_SIZENS: shape = Qt::SizeVerCursor; break;
    case IDC_HAND: shape = Qt::PointingHandCursor; break;
    case IDC_HELP: shape = Qt::WhatsThisCursor; break;
    default: break;
    }
    if (WindowRecord* rec = Find(H().mouseWindow)) {
        if (rec->cursor != id && rec->qwin) rec->qwin->setCursor(QCursor(shape));
        rec->cursor = id;
    }
    return old;
}

BOOL GetCursorPos(CPoint* pt) {
    if (!pt) return 0;
    pt->x = static_cast<int>(H().cursorPos.x());
    pt->y = static_cast<int>(H().cursorPos.y());
    return 1;
}

SHORT GetKeyState(int vk) { return (H().keyState[vk & 0xFF] & 0x80) ? static_cast<SHORT>(0x8000) : 0; }

UINT GetDoubleClickTime() { return 500; }

BOOL HostStartSystemMove(HWND hwnd) {
    WindowRecord* rec = Find(hwnd);
    if (!rec || !rec->qwin || !OnUiThread()) return 0;
    ++rec->systemMoves;
    if (rec->qwin->startSystemMove()) return 1;
    // The platform cannot move it: follow the mouse until the button is up.
    if (!(QGuiApplication::mouseButtons() & Qt::LeftButton)) return 0;
    rec->manualMove = true;
    rec->manualMoved = false;
    rec->manualLastLocal = rec->qwin->mapFromGlobal(H().cursorPos);
    rec->moveStartCursor = H().cursorPos;
    rec->moveStartRect = rec->rect;
    return 1;
}

BOOL SetWindowIcon(HWND hwnd, HICON icon) {
    WindowRecord* rec = Find(hwnd);
    if (!rec || !rec->qwin || !icon || icon->IsNull()) return 0;
    rec->qwin->setIcon(QIcon(QPixmap::fromImage(icon->impl()->img)));
    return 1;
}

// ---- screens ---------------------------------------------------------------
CRect GetWorkAreaNear(const CRect& rect) {
    if (!QGuiApplication::instance()) return CRect();
    QScreen* screen = QGuiApplication::screenAt(QPoint(rect.CenterPoint().x, rect.CenterPoint().y));
    if (!screen) {
        // Nearest screen: the one whose area is closest to the rect's centre.
        double best = 1e18;
        for (QScreen* s : QGuiApplication::screens()) {
            const QRect g = s->geometry();
            const double dx = std::max({g.left() - rect.CenterPoint().x, 0, rect.CenterPoint().x - g.right()});
            const double dy = std::max({g.top() - rect.CenterPoint().y, 0, rect.CenterPoint().y - g.bottom()});
            if (dx * dx + dy * dy < best) {
                best = dx * dx + dy * dy;
                screen = s;
            }
        }
    }
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return CRect();
    const QRect a = screen->availableGeometry();
    return CRect(a.left(), a.top(), a.left() + a.width(), a.top() + a.height());
}

CRect GetPrimaryScreenRect() {
    QScreen* screen = QGuiApplication::instance() ? QGuiApplication::primaryScreen() : nullptr;
    if (!screen) return CRect();
    const QRect g = screen->geometry();
    return CRect(g.left(), g.top(), g.left() + g.width(), g.top() + g.height());
}
