// The window host: the application object, native windows, the message queue
// and the window services the toolkit and the program use, with the names
// and behaviour of the Windows calls they stand for.
//
// Threads: the thread that calls HostInitialize is the UI thread and owns
// every window. From any other thread only PostMessageW, PostThreadQuit,
// SendMessageW, HostInvokeOnUiThread, IsWindow and InvalidateRect may be
// called; the host carries them over to the UI thread.
//
// Queue model: input, timers, posted messages and paint requests reach a
// window through the queue (GetMessageW / PeekMessageW, then
// DispatchMessageW); creation, size, activation, focus and close requests of
// the platform are sent straight to the window procedure.
#pragma once

#include <functional>
#include <vector>

#include "tavri/messages.h"
#include "tavri/types.h"

// ---- life cycle ------------------------------------------------------------
// Creates the host's application object. Returns false when no display can be
// reached; the caller decides whether to go on without windows.
TAVRI_EXPORT bool HostInitialize(int& argc, char** argv);
// Destroys the windows that are left and the application object.
TAVRI_EXPORT void HostShutdown();
TAVRI_EXPORT bool HostIsInitialized();
TAVRI_EXPORT bool HostIsUiThread();
// Runs `fn` on the UI thread as soon as it pumps; false when the host is not
// running. Safe from any thread.
TAVRI_EXPORT bool HostInvokeOnUiThread(std::function<void()> fn);
// Milliseconds of the host's steady clock (message times use it).
TAVRI_EXPORT DWORD GetTickCount();

// ---- window classes and windows --------------------------------------------
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct CREATESTRUCT {
    void* lpCreateParams = nullptr;
    HINSTANCE hInstance = nullptr;
    HWND hwndParent = nullptr;
    int cy = 0;
    int cx = 0;
    int y = 0;
    int x = 0;
    DWORD style = 0;
    const wchar_t* lpszName = nullptr;
    const wchar_t* lpszClass = nullptr;
    DWORD dwExStyle = 0;
};

struct WINDOWPOS {
    HWND hwnd = nullptr;
    HWND hwndInsertAfter = nullptr;
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
    UINT flags = 0;
};

struct MINMAXINFO {
    CPoint ptReserved;
    CPoint ptMaxSize;
    CPoint ptMaxPosition;
    CPoint ptMinTrackSize;
    CPoint ptMaxTrackSize;
};

struct TRACKMOUSEEVENT {
    DWORD dwFlags = 0;
    HWND hwndTrack = nullptr;
    DWORD dwHoverTime = 0;
};

// Registers a class once; a second registration of the name keeps the first
// and returns false.
TAVRI_EXPORT bool RegisterClassW(const wchar_t* className, WNDPROC proc, UINT classStyle);
TAVRI_EXPORT bool IsClassRegistered(const wchar_t* className);

// Every toolkit window is frameless. WS_EX_TOOLWINDOW gives a tool window
// (no taskbar entry), WS_EX_TOPMOST keeps it above others, WS_EX_NOACTIVATE
// makes a tip window that never takes activation, WS_EX_LAYERED gives a
// per-pixel-alpha surface. The owner keeps the window above it.
TAVRI_EXPORT HWND CreateWindowExW(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style,
                                  int x, int y, int width, int height, HWND owner, HINSTANCE instance,
                                  void* param);
TAVRI_EXPORT BOOL DestroyWindow(HWND hwnd);
TAVRI_EXPORT BOOL IsWindow(HWND hwnd);
TAVRI_EXPORT LRESULT DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
TAVRI_EXPORT LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

TAVRI_EXPORT LONG_PTR GetWindowLongPtrW(HWND hwnd, int index);
TAVRI_EXPORT LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value);
TAVRI_EXPORT HWND GetWindow(HWND hwnd, UINT relation);  // GW_OWNER
TAVRI_EXPORT CString GetClassNameW(HWND hwnd);
TAVRI_EXPORT BOOL SetWindowTextW(HWND hwnd, const wchar_t* text);
TAVRI_EXPORT CString GetWindowTextW(HWND hwnd);
// Every live window in creation order; FindWindowW matches class and title
// exactly (a null argument matches anything).
TAVRI_EXPORT std::vector<HWND> EnumHostWindows();
TAVRI_EXPORT HWND FindWindowW(const wchar_t* className, const wchar_t* title);

TAVRI_EXPORT BOOL ShowWindow(HWND hwnd, int cmd);
TAVRI_EXPORT BOOL IsWindowVisible(HWND hwnd);
TAVRI_EXPORT BOOL IsIconic(HWND hwnd);
TAVRI_EXPORT BOOL IsZoomed(HWND hwnd);
// A disabled window takes no mouse or key input.
TAVRI_EXPORT BOOL EnableWindow(HWND hwnd, BOOL enable);
TAVRI_EXPORT BOOL IsWindowEnabled(HWND hwnd);
TAVRI_EXPORT BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
TAVRI_EXPORT BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint);
TAVRI_EXPORT BOOL GetWindowRect(HWND hwnd, CRect* rect);
TAVRI_EXPORT BOOL GetClientRect(HWND hwnd, CRect* rect);
TAVRI_EXPORT BOOL ClientToScreen(HWND hwnd, CPoint* pt);
TAVRI_EXPORT BOOL ScreenToClient(HWND hwnd, CPoint* pt);
TAVRI_EXPORT BOOL BringWindowToTop(HWND hwnd);
TAVRI_EXPORT BOOL SetForegroundWindow(HWND hwnd);
TAVRI_EXPORT HWND SetActiveWindow(HWND hwnd);
TAVRI_EXPORT HWND GetActiveWindow();
TAVRI_EXPORT HWND GetForegroundWindow();
TAVRI_EXPORT HWND SetFocus(HWND hwnd);
TAVRI_EXPORT HWND GetFocus();
// Constant alpha (LWA_ALPHA) and colour key (LWA_COLORKEY) of a layered window.
TAVRI_EXPORT BOOL SetLayeredWindowAttributes(HWND hwnd, COLORREF key, BYTE alpha, DWORD flags);
// Rounds the window's shape; radius 0 removes the shape.
TAVRI_EXPORT BOOL SetWindowRoundRegion(HWND hwnd, int radius);
TAVRI_EXPORT BOOL SetWindowIcon(HWND hwnd, HICON icon);

// The work area (screen minus panels) of the screen nearest to `rect`.
TAVRI_EXPORT CRect GetWorkAreaNear(const CRect& rect);
TAVRI_EXPORT CRect GetPrimaryScreenRect();

// ---- painting --------------------------------------------------------------
struct PAINTSTRUCT {
    Image* surface = nullptr;  // the window's 32-bit surface, client-sized
    BOOL fErase = 0;
    CRect rcPaint;
};

// From any thread. A null rect means the whole client area.
TAVRI_EXPORT BOOL InvalidateRect(HWND hwnd, const CRect* rect, BOOL erase);
TAVRI_EXPORT BOOL ValidateRect(HWND hwnd, const CRect* rect);
TAVRI_EXPORT BOOL GetUpdateRect(HWND hwnd, CRect* rect, BOOL erase);
// Paints a pending update now instead of waiting for the queue.
TAVRI_EXPORT BOOL UpdateWindow(HWND hwnd);
// BeginPaint takes (and clears) the update rectangle and hands out the
// window's surface; EndPaint copies the update rectangle out to the screen.
// Layered windows keep their per-pixel alpha; others are shown opaque.
TAVRI_EXPORT Image* BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
TAVRI_EXPORT BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps);
// Paints are paced per window: at most one per this many milliseconds; later
// requests are merged, never slept on.
constexpr int kMinPaintIntervalMs = 15;

// ---- messages --------------------------------------------------------------
// Any thread. False when the window does not exist.
TAVRI_EXPORT BOOL PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// On the UI thread the window procedure runs at once; from another thread the
// call waits until the UI thread has run it (0 when the window goes away or
// the host shuts down first).
TAVRI_EXPORT LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
TAVRI_EXPORT void PostQuitMessage(int exitCode);
// Waits for the next message; 0 for WM_QUIT (its wParam is the exit code).
TAVRI_EXPORT BOOL GetMessageW(MSG* msg);
// PM_REMOVE takes the message out of the queue; without it the message stays.
constexpr UINT PM_NOREMOVE = 0;
constexpr UINT PM_REMOVE = 1;
TAVRI_EXPORT BOOL PeekMessageW(MSG* msg, UINT removeFlags);
// Waits until a message is queued, at most `timeoutMs` (negative: no limit).
TAVRI_EXPORT BOOL WaitMessageTimeout(int timeoutMs);
// Key-down messages with text queue a WM_CHAR behind them.
TAVRI_EXPORT BOOL TranslateMessage(const MSG* msg);
TAVRI_EXPORT LRESULT DispatchMessageW(const MSG* msg);

// ---- timers ----------------------------------------------------------------
// A window timer posts WM_TIMER (wParam = id) every `elapseMs`; a timer with
// the same id on the window is replaced. Id 0 is a valid id. Returns nonzero
// on success.
TAVRI_EXPORT UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, void* unused);
TAVRI_EXPORT BOOL KillTimer(HWND hwnd, UINT_PTR id);

// ---- mouse and keyboard ----------------------------------------------------
TAVRI_EXPORT HWND SetCapture(HWND hwnd);
TAVRI_EXPORT BOOL ReleaseCapture();
TAVRI_EXPORT HWND GetCapture();
TAVRI_EXPORT BOOL TrackMouseEvent(TRACKMOUSEEVENT* tme);
TAVRI_EXPORT HCURSOR LoadCursorW(HINSTANCE instance, UINT id);
// Shows the cursor over the window the mouse is in; returns the previous one.
TAVRI_EXPORT HCURSOR SetCursor(HCURSOR cursor);
TAVRI_EXPORT BOOL GetCursorPos(CPoint* pt);
// As of the message being handled: the high bit is set while the key is down.
TAVRI_EXPORT SHORT GetKeyState(int vk);
TAVRI_EXPORT UINT GetDoubleClickTime();
// Starts a system move of the window with the mouse (a caption drag). Where
// the platform cannot move windows itself, the host follows the mouse until
// the button is released.
TAVRI_EXPORT BOOL HostStartSystemMove(HWND hwnd);
