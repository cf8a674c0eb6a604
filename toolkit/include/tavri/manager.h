// The toolkit's process-wide values. Set on the main thread before any window
// exists and only read afterwards, so no lock guards them.
#pragma once

#include <set>

#include "tavri/messages.h"
#include "tavri/types.h"

class TAVRI_EXPORT Manager {
public:
    static void SetInstance(HINSTANCE instance);
    static HINSTANCE GetInstance();

    static void SetDeviceName(const CString& name);
    static CString GetDeviceName();

    // The skin sub-folder under "skins\".
    static CString GetTheme();

    static void SetFont(const CString& name, int size);
    static void SetFontName(const CString& name);
    static CString GetFontName();
    static int GetFontWidth();
    static ARGB GetSelectColor();

    // Next id for controls created without one.
    static int NextControlId();

    // Live toolkit windows, maintained by the windows themselves.
    static void AddWnd(HWND wnd);
    static void DeleteWnd(HWND wnd);
    static bool IsLiveWnd(HWND wnd);
    static std::set<HWND> GetWnds();

    // The toolkit's own loop: get, translate and dispatch until quit, dropping
    // every message while Alt and F4 are both held. Returns the quit code.
    static int MessageLoop();
    // 1 while Alt and F4 are held down (the message is then dropped).
    static int PreTranslateMessage(MSG* msg);

    // Back to the built-in defaults; tests use it between cases.
    static void ResetForTests();
};
