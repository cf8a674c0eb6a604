// Shared inside toolkit/host/ only: the window records, the message queue and
// the Qt window class. Nothing outside the host includes this file.
//
// Sections: Image internals - window record - host state - helpers.
#pragma once

#include <QBackingStore>
#include <QImage>
#include <QWindow>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>
#include <vector>

#include "tavri/host.h"
#include "tavri/render.h"

// ---- Image internals -------------------------------------------------------
struct Image::Impl {
    QImage img;                 // the pixels drawn: always ARGB32 premultiplied
    std::vector<QImage> frames;  // every frame of an animated file (empty for stills)
    int active = 0;
};

namespace tavri::host {

class HostWindow;

// ---- window record ---------------------------------------------------------
struct WindowRecord {
    HWND handle = nullptr;
    CString className;
    CString title;
    WNDPROC proc = nullptr;
    UINT classStyle = 0;
    LONG_PTR userData = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND owner = nullptr;
    CRect rect;  // screen coordinates; frameless, so the client area is the whole window
    bool visible = false;
    bool enabled = true;
    bool minimized = false;
    bool maximized = false;
    CRect restoreRect;
    bool destroying = false;
    HostWindow* qwin = nullptr;
    QBackingStore* store = nullptr;
    bool alphaFormat = false;  // the platform window has an alpha channel

    // painting
    Image surface;
    CRect update;
    bool updateErase = false;
    bool paintQueued = false;
    int paceTimer = 0;
    qint64 lastPaintEnd = -1000;
    int paintCount = 0;
    CRect lastPaintRect;
    BYTE constAlpha = 255;
    bool useColorKey = false;
    COLORREF colorKey = 0;
    int roundRadius = 0;

    // timers: toolkit id -> Qt timer id
    std::map<UINT_PTR, int> timers;

    // mouse
    UINT cursor = IDC_ARROW;
    bool trackLeave = false;
    bool trackHover = false;
    int hoverTime = 400;
    int hoverTimer = 0;
    bool mouseInside = false;
    int systemMoves = 0;
    bool manualMove = false;
    QPointF moveStartCursor;
    QPointF manualLastLocal;
    bool manualMoved = false;
    CRect moveStartRect;
    // double-click detection (the platform's own is not Windows-shaped)
    Qt::MouseButton lastDownButton = Qt::NoButton;
    qint64 lastDownTime = -100000;
    QPoint lastDownPos;
    bool lastDownWasDouble = false;
};

// A queued message with the input state it was generated under.
struct QueuedMsg {
    MSG msg;
    bool input = false;         // carries key and button state
    unsigned modifiers = 0;     // bit 0 shift, 1 ctrl, 2 alt
    unsigned buttons = 0;       // bit 0 left, 1 right, 2 middle
    UINT vk = 0;                // key messages: the key and whether it went down
    bool vkDown = false;
    char32_t ch = 0;            // key-down: the character it types, 0 for none
};

struct SentMsg {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool done = false;
};

enum class LoopKind { Toolkit, Foreign };

// ---- host state ------------------------------------------------------------
struct HostState {
    QObject* pump = nullptr;
    std::thread::id uiThread;
    std::atomic<bool> running{false};

    // The queue and the cross-thread hand-over lists share one lock.
    std::mutex qlock;
    std::condition_variable sentDone;
    std::deque<QueuedMsg> queue;
    std::deque<SentMsg*> sent;
    std::deque<std::function<void()>> invokes;
    std::set<std::pair<HWND, UINT_PTR>> pendingTimers;
    std::atomic<bool> wakePending{false};

    // Live handles, readable from any thread under this lock.
    std::mutex wlock;
    std::unordered_map<HWND, WindowRecord*> windows;
    std::vector<HWND> order;
    std::uintptr_t nextHandle = 0x10000;

    // UI-thread only from here on.
    std::map<CString, std::pair<WNDPROC, UINT>> classes;
    std::vector<LoopKind> loops;
    std::vector<HostWindow*> doomed;
    HWND capture = nullptr;
    HWND mouseWindow = nullptr;
    UINT currentCursor = IDC_ARROW;
    bool cursorSetInDispatch = false;
    QPointF cursorPos;
    unsigned char keyState[256] = {};
    QueuedMsg lastKeyDown;
    bool haveLastKeyDown = false;
    int waitTimer = 0;
};

HostState& H();

// ---- helpers ---------------------------------------------------------------
WindowRecord* Find(HWND hwnd);
bool OnUiThread();
void Wake();
// Queues a message for the UI thread (UI thread or any thread).
void Enqueue(const QueuedMsg& m);
// Asks for a paint of the window's pending update once the pace allows.
void SchedulePaint(WindowRecord* rec);
void EnqueuePaintNow(HWND hwnd);
// The platform window's look follows the record's styles.
void ApplyWindowFlags(WindowRecord* rec);
// Present the surface's `rect` on screen.
void Present(WindowRecord* rec, const CRect& rect);
// Takes the next message (PM_REMOVE semantics when `remove`).
bool PopQueued(MSG* out, bool remove);
// The same, but a quit stays in the queue for the loop that owns it.
bool PopQueuedUnlessQuit(MSG* out);
void DropQueuedFor(HWND hwnd);
void DropQueuedTimer(HWND hwnd, UINT_PTR id);
// Lets every waiting cross-thread SendMessage return 0.
void ReleaseSenders();
// Runs the cross-thread SendMessage calls and the queued invocations.
void ProcessSentAndInvokes();
void FlushDoomed();
qint64 NowMs();
DWORD MessageTime();
LPARAM PointToLParam(int x, int y);
UINT QtKeyToVk(int key, Qt::KeyboardModifiers mods);
int VkToQtKey(UINT vk, bool* keypad);

// While alive, the innermost pump is of the given kind: the wake handler
// delivers queued messages itself only while a foreign loop (a platform
// dialog's own) is innermost or no loop runs at all.
class LoopScope {
public:
    explicit LoopScope(LoopKind kind) { H().loops.push_back(kind); }
    ~LoopScope() { H().loops.pop_back(); }
    LoopScope(const LoopScope&) = delete;
    LoopScope& operator=(const LoopScope&) = delete;
};

// Host code that runs a platform dialog's own loop (file dialogs, menus)
// wraps it in this call, so toolkit messages keep flowing meanwhile.
void RunForeignModal(const std::function<void()>& fn);

// The Qt window of one toolkit window. It converts platform events into
// queued or sent messages and keeps no toolkit state of its own beyond its
// handle (the record may be gone while an event is still on the stack).
class HostWindow : public QWindow {
public:
    explicit HostWindow(HWND handle);
    HWND handle() const { return handle_; }
    void detach() { handle_ = nullptr; }
    int depth() const { return depth_; }

protected:
    bool event(QEvent* e) override;
    void exposeEvent(QExposeEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void timerEvent(QTimerEvent* e) override;

private:
    void keyEvent(QKeyEvent* e, bool down);
    HWND handle_;
    int depth_ = 0;
};

}  // namespace tavri::host
