// The application object, the message queue, the loops and the cross-thread
// calls. Window records and platform events are in host_window.cpp.
//
// Sections: state - life cycle - waking and hand-over - queue - loops -
// messages - timers.
#include "tavri/host.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimerEvent>

#include <cstdlib>

#include "host_internal.h"

namespace tavri::host {

// ---- state -----------------------------------------------------------------
namespace {

QApplication* g_app = nullptr;
QEvent::Type g_wakeType = QEvent::None;

QElapsedTimer& Clock() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock;
}

// Receives the wake-up events and the wait timer on the UI thread.
class Pump : public QObject {
protected:
    bool event(QEvent* e) override {
        if (e->type() != g_wakeType) return QObject::event(e);
        H().wakePending.store(false);
        ProcessSentAndInvokes();
        const auto& loops = H().loops;
        // Inside a platform dialog's own loop (or when nobody pumps) the
        // queue would otherwise stand still.
        if (loops.empty() || loops.back() == LoopKind::Foreign) {
            MSG msg;
            while (PopQueuedUnlessQuit(&msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
        return true;
    }
    void timerEvent(QTimerEvent* e) override {
        if (e->timerId() == H().waitTimer) {
            killTimer(H().waitTimer);
            H().waitTimer = 0;
        }
    }

};

}  // namespace

HostState& H() {
    static HostState state;
    return state;
}

qint64 NowMs() { return Clock().elapsed(); }
DWORD MessageTime() { return static_cast<DWORD>(NowMs()); }
bool OnUiThread() { return H().running.load() && std::this_thread::get_id() == H().uiThread; }

WindowRecord* Find(HWND hwnd) {
    if (!hwnd) return nullptr;
    std::lock_guard<std::mutex> lock(H().wlock);
    auto it = H().windows.find(hwnd);
    return it == H().windows.end() ? nullptr : it->second;
}

LPARAM PointToLParam(int x, int y) { return MAKELPARAM(x, y); }

// ---- waking and hand-over --------------------------------------------------
void Wake() {
    if (!H().running.load() || !H().pump) return;
    if (H().wakePending.exchange(true)) return;
    QCoreApplication::postEvent(H().pump, new QEvent(g_wakeType));
}

void ProcessSentAndInvokes() {
    for (;;) {
        SentMsg* sent = nullptr;
        std::function<void()> fn;
        {
            std::lock_guard<std::mutex> lock(H().qlock);
            if (!H().sent.empty()) {
                sent = H().sent.front();
                H().sent.pop_front();
            } else if (!H().invokes.empty()) {
                fn = std::move(H().invokes.front());
                H().invokes.pop_front();
            } else {
                return;
            }
        }
        if (sent) {
            const LRESULT r = Find(sent->hwnd) ? ::SendMessageW(sent->hwnd, sent->msg, sent->wParam, sent->lParam) : 0;
            std::lock_guard<std::mutex> lock(H().qlock);
            sent->result = r;
            sent->done = true;
            H().sentDone.notify_all();
        } else if (fn) {
            fn();
        }
    }
}

void RunForeignModal(const std::function<void()>& fn) {
    LoopScope scope(LoopKind::Foreign);
    fn();
}

// ---- queue -----------------------------------------------------------------
void Enqueue(const QueuedMsg& m) {
    {
        std::lock_guard<std::mutex> lock(H().qlock);
        auto& q = H().queue;
        if (m.msg.message == WM_MOUSEMOVE && !q.empty()) {
            QueuedMsg& last = q.back();
            // Moves coalesce: only the newest position of a run matters.
            if (last.msg.message == WM_MOUSEMOVE && last.msg.hwnd == m.msg.hwnd &&
                last.msg.wParam == m.msg.wParam) {
                last = m;
                goto queued;
            }
        }
        if (m.msg.message == WM_TIMER && m.msg.hwnd) {
            // At most one WM_TIMER per timer waits in the queue.
            if (!H().pendingTimers.insert({m.msg.hwnd, m.msg.wParam}).second) goto queued;
        }
        q.push_back(m);
    }
queued:
    Wake();
}

namespace {

void ApplyInputState(const QueuedMsg& m) {
    if (!m.input) return;
    auto set = [](UINT vk, bool down) { H().keyState[vk & 0xFF] = down ? 0x80 : 0; };
    set(VK_SHIFT, m.modifiers & 1);
    set(VK_CONTROL, m.modifiers & 2);
    set(VK_MENU, m.modifiers & 4);
    set(VK_LBUTTON, m.buttons & 1);
    set(VK_RBUTTON, m.buttons & 2);
    set(VK_MBUTTON, m.buttons & 4);
    if (m.vk) set(m.vk, m.vkDown);
}

}  // namespace

bool PopQueued(MSG* out, bool remove) {
    QueuedMsg m;
    {
        std::lock_guard<std::mutex> lock(H().qlock);
        if (H().queue.empty()) return false;
        m = H().queue.front();
        if (!remove) {
            *out = m.msg;
            return true;
        }
        H().queue.pop_front();
        if (m.msg.message == WM_TIMER && m.msg.hwnd) H().pendingTimers.erase({m.msg.hwnd, m.msg.wParam});
    }
    ApplyInputState(m);
    if (m.msg.message == WM_KEYDOWN || m.msg.message == WM_SYSKEYDOWN) {
        H().lastKeyDown = m;
        H().haveLastKeyDown = true;
    }
    *out = m.msg;
    return true;
}

bool PopQueuedUnlessQuit(MSG* out) {
    {
        std::lock_guard<std::mutex> lock(H().qlock);
        if (H().queue.empty() || H().queue.front().msg.message == WM_QUIT) return false;
    }
    return PopQueued(out, true);
}

void DropQueuedFor(HWND hwnd) {
    std::lock_guard<std::mutex> lock(H().qlock);
    auto& q = H().queue;
    for (auto it = q.begin(); it != q.end();) {
        if (it->msg.hwnd == hwnd) it = q.erase(it);
        else ++it;
    }
    for (auto it = H().pendingTimers.begin(); it != H().pendingTimers.end();) {
        if (it->first == hwnd) it = H().pendingTimers.erase(it);
        else ++it;
    }
}

void DropQueuedTimer(HWND hwnd, UINT_PTR id) {
    std::lock_guard<std::mutex> lock(H().qlock);
    auto& q = H().queue;
    for (auto it = q.begin(); it != q.end();) {
        if (it->msg.hwnd == hwnd && it->msg.message == WM_TIMER && it->msg.wParam == id) it = q.erase(it);
        else ++it;
    }
    H().pendingTimers.erase({hwnd, id});
}

void ReleaseSenders() {
    std::lock_guard<std::mutex> lock(H().qlock);
    for (SentMsg* s : H().sent) {
        s->result = 0;
        s->done = true;
    }
    H().sent.clear();
    H().sentDone.notify_all();
}

}  // namespace tavri::host

using namespace tavri::host;

// ---- life cycle ------------------------------------------------------------
bool HostInitialize(int& argc, char** argv) {
    if (g_app) return true;
    // Without a platform to talk to Qt would abort; report it instead.
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!qpa || !*qpa) && (!display || !*display) && (!wayland || !*wayland)) return false;
    if (g_wakeType == QEvent::None) g_wakeType = static_cast<QEvent::Type>(QEvent::registerEventType());
    Clock();
    g_app = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    H().uiThread = std::this_thread::get_id();
    H().pump = new Pump;
    H().running.store(true);
    return true;
}

void HostShutdown() {
    if (!g_app) return;
    // Windows still alive are destroyed, owners last.
    std::vector<HWND> handles;
    {
        std::lock_guard<std::mutex> lock(H().wlock);
        handles = H().order;
    }
    for (auto it = handles.rbegin(); it != handles.rend(); ++it) ::DestroyWindow(*it);
    ProcessSentAndInvokes();
    H().running.store(false);
    ReleaseSenders();
    {
        std::lock_guard<std::mutex> lock(H().qlock);
        H().queue.clear();
        H().invokes.clear();
        H().pendingTimers.clear();
    }
    FlushDoomed();
    delete H().pump;
    H().pump = nullptr;
    delete g_app;
    g_app = nullptr;
    H().classes.clear();
    H().capture = nullptr;
    H().mouseWindow = nullptr;
}

bool HostIsInitialized() { return g_app != nullptr; }
bool HostIsUiThread() { return OnUiThread(); }

bool HostInvokeOnUiThread(std::function<void()> fn) {
    if (!fn || !H().running.load()) return false;
    {
        std::lock_guard<std::mutex> lock(H().qlock);
        H().invokes.push_back(std::move(fn));
    }
    Wake();
    return true;
}

DWORD GetTickCount() { return MessageTime(); }

// ---- loops -----------------------------------------------------------------
BOOL GetMessageW(MSG* msg) {
    if (!msg) return 0;
    for (;;) {
        ProcessSentAndInvokes();
        FlushDoomed();
        if (PopQueued(msg, true)) return msg->message != WM_QUIT;
        if (!g_app) {
            *msg = MSG{};
            msg->message = WM_QUIT;
            return 0;
        }
        LoopScope scope(LoopKind::Toolkit);
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
    }
}

BOOL PeekMessageW(MSG* msg, UINT removeFlags) {
    if (!msg) return 0;
    ProcessSentAndInvokes();
    FlushDoomed();
    if (g_app) {
        LoopScope scope(LoopKind::Toolkit);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    ProcessSentAndInvokes();
    return PopQueued(msg, (removeFlags & PM_REMOVE) != 0);
}

BOOL WaitMessageTimeout(int timeoutMs) {
    if (!g_app) return 0;
    {
        std::lock_guard<std::mutex> lock(H().qlock);
        if (!H().queue.empty()) return 1;
    }
    if (timeoutMs == 0) return 0;
    if (timeoutMs > 0 && !H().waitTimer) H().waitTimer = H().pump->startTimer(timeoutMs, Qt::PreciseTimer);
    {
        LoopScope scope(LoopKind::Toolkit);
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
    }
    if (H().waitTimer) {
        H().pump->killTimer(H().waitTimer);
        H().waitTimer = 0;
    }
    ProcessSentAndInvokes();
    std::lock_guard<std::mutex> lock(H().qlock);
    return H().queue.empty() ? 0 : 1;
}

BOOL TranslateMessage(const MSG* msg) {
    if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) return 0;
    if (!H().haveLastKeyDown) return 0;
    const QueuedMsg& last = H().lastKeyDown;
    if (last.msg.hwnd != msg->hwnd || last.msg.wParam != msg->wParam || last.msg.time != msg->time) return 0;
    if (!last.ch) return 0;
    QueuedMsg c = last;
    c.msg.message = msg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
    c.msg.wParam = static_cast<WPARAM>(last.ch);
    c.vk = 0;
    c.ch = 0;
    H().haveLastKeyDown = false;
    {
        // The character comes next, before anything queued later.
        std::lock_guard<std::mutex> lock(H().qlock);
        H().queue.push_front(c);
    }
    return 1;
}

LRESULT DispatchMessageW(const MSG* msg) {
    if (!msg || !msg->hwnd) return 0;
    WindowRecord* rec = Find(msg->hwnd);
    if (!rec || !rec->proc) return 0;
    HWND hwnd = msg->hwnd;
    if (msg->message == WM_PAINT) {
        rec->paintQueued = false;
        const LRESULT r = rec->proc(hwnd, WM_PAINT, msg->wParam, msg->lParam);
        // A procedure that did not paint would get the same request forever.
        if ((rec = Find(hwnd)) != nullptr) rec->update.SetRectEmpty();
        return r;
    }
    if (msg->message == WM_MOUSEMOVE) {
        H().cursorSetInDispatch = false;
        const LRESULT r = rec->proc(hwnd, msg->message, msg->wParam, msg->lParam);
        // Windows of this toolkit have no class cursor: a move that nobody
        // gave a cursor shows the arrow rather than the last control's.
        if (!H().cursorSetInDispatch && H().mouseWindow == hwnd) ::SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        return r;
    }
    return rec->proc(hwnd, msg->message, msg->wParam, msg->lParam);
}

// ---- messages --------------------------------------------------------------
BOOL PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!H().running.load()) return 0;
    if (hwnd && !Find(hwnd)) return 0;
    QueuedMsg m;
    m.msg.hwnd = hwnd;
    m.msg.message = msg;
    m.msg.wParam = wParam;
    m.msg.lParam = lParam;
    m.msg.time = MessageTime();
    Enqueue(m);
    return 1;
}

LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!H().running.load()) return 0;
    if (OnUiThread()) {
        WindowRecord* rec = Find(hwnd);
        if (!rec || !rec->proc) return 0;
        return rec->proc(hwnd, msg, wParam, lParam);
    }
    if (!Find(hwnd)) return 0;
    SentMsg sent{hwnd, msg, wParam, lParam};
    std::unique_lock<std::mutex> lock(H().qlock);
    H().sent.push_back(&sent);
    lock.unlock();
    Wake();
    lock.lock();
    H().sentDone.wait(lock, [&] { return sent.done; });
    return sent.result;
}

void PostQuitMessage(int exitCode) {
    QueuedMsg m;
    m.msg.message = WM_QUIT;
    m.msg.wParam = static_cast<WPARAM>(exitCode);
    m.msg.time = MessageTime();
    Enqueue(m);
}

// ---- timers ----------------------------------------------------------------
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, void*) {
    if (!OnUiThread()) return 0;
    WindowRecord* rec = Find(hwnd);
    if (!rec || !rec->qwin) return 0;
    auto it = rec->timers.find(id);
    if (it != rec->timers.end()) {
        rec->qwin->killTimer(it->second);
        rec->timers.erase(it);
    }
    // Windows raises shorter periods to its minimum of 10 ms.
    const int elapse = static_cast<int>(std::max<UINT>(elapseMs, 10));
    const int qtId = rec->qwin->startTimer(elapse, Qt::PreciseTimer);
    if (!qtId) return 0;
    rec->timers[id] = qtId;
    return 1;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
    if (!OnUiThread()) return 0;
    WindowRecord* rec = Find(hwnd);
    if (!rec) return 0;
    auto it = rec->timers.find(id);
    if (it == rec->timers.end()) return 0;
    if (rec->qwin) rec->qwin->killTimer(it->second);
    rec->timers.erase(it);
    DropQueuedTimer(hwnd, id);
    return 1;
}
