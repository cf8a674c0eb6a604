// Hooks for tests: input synthesised through the platform's own input path
// (so it reaches the window procedure exactly as real input does), and a
// look at what a window last painted.
#pragma once

#include <functional>

#include "tavri/render.h"
#include "tavri/types.h"

enum class TestMouse { Move, LeftDown, LeftUp, RightDown, RightUp };

// Mouse input at client point (x, y). A down shortly after a down of the same
// button at the same place becomes a double click, as with real input.
TAVRI_EXPORT bool HostTestMouse(HWND hwnd, TestMouse kind, int x, int y);
// The mouse leaves the window.
TAVRI_EXPORT bool HostTestMouseLeave(HWND hwnd);
// Forgets earlier presses, so the next press is a single click whatever
// preceded it.
TAVRI_EXPORT void HostTestForgetClicks();
// Wheel with a Windows delta (120 per notch, positive away from the user).
TAVRI_EXPORT bool HostTestWheel(HWND hwnd, int delta, int x, int y);
// A key press or release; `vk` is a virtual key, modifiers are VK_SHIFT,
// VK_CONTROL, VK_MENU bits as below.
constexpr int kTestShift = 1;
constexpr int kTestCtrl = 2;
constexpr int kTestAlt = 4;
TAVRI_EXPORT bool HostTestKey(HWND hwnd, UINT vk, bool down, int modifiers);
// The platform's close button.
TAVRI_EXPORT bool HostTestCloseButton(HWND hwnd);
// Makes the window the active one, as a click on it would.
TAVRI_EXPORT bool HostTestActivate(HWND hwnd);

// The window's surface after its last paint (null before the first).
TAVRI_EXPORT Image HostTestSurface(HWND hwnd);
// What the screen shows of the window: the surface as copied out, opaque for
// windows without per-pixel alpha.
TAVRI_EXPORT Image HostTestScreenImage(HWND hwnd);
TAVRI_EXPORT int HostTestPaintCount(HWND hwnd);
TAVRI_EXPORT CRect HostTestLastPaintRect(HWND hwnd);
TAVRI_EXPORT bool HostTestPaintPending(HWND hwnd);
// The cursor shown over the window (an IDC_ value) and how many system moves
// the window started.
TAVRI_EXPORT UINT HostTestCursor(HWND hwnd);
TAVRI_EXPORT int HostTestSystemMoveCount(HWND hwnd);

// Runs the queue for `ms` milliseconds, dispatching every message (as a
// message loop does, without one of the window's own).
TAVRI_EXPORT void HostTestPump(int ms);
// Runs the queue until `done` returns true or `timeoutMs` passes.
TAVRI_EXPORT bool HostTestPumpUntil(const std::function<bool()>& done, int timeoutMs);
