// The toolkit's process-wide values. Set on the main thread before any window
// exists and only read afterwards, so no lock guards them.
#pragma once

#include <set>

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

    // Back to the built-in defaults; tests use it between cases.
    static void ResetForTests();
};
