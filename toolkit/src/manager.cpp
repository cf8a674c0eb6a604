#include "tavri/manager.h"

#include "tavri/host.h"

namespace {

struct Globals {
    HINSTANCE instance = nullptr;
    CString fontName = L"Arial";
    int fontSize = 14;
    ARGB selectColor = 0xFF285055;
    CString deviceName = L"Keyloom";
    int controlIdCounter = 0;
    std::set<HWND> windows;
};

Globals& G() {
    static Globals g;
    return g;
}

}  // namespace

void Manager::SetInstance(HINSTANCE instance) { G().instance = instance; }
HINSTANCE Manager::GetInstance() { return G().instance; }

void Manager::SetDeviceName(const CString& name) { G().deviceName = name; }
CString Manager::GetDeviceName() { return G().deviceName; }

CString Manager::GetTheme() { return L"theme1\\"; }

void Manager::SetFont(const CString& name, int size) {
    G().fontName = name;
    G().fontSize = size;
}
void Manager::SetFontName(const CString& name) { G().fontName = name; }
CString Manager::GetFontName() { return G().fontName; }
int Manager::GetFontWidth() { return G().fontSize; }
ARGB Manager::GetSelectColor() { return G().selectColor; }

int Manager::NextControlId() { return ++G().controlIdCounter; }

void Manager::AddWnd(HWND wnd) { G().windows.insert(wnd); }
void Manager::DeleteWnd(HWND wnd) { G().windows.erase(wnd); }
bool Manager::IsLiveWnd(HWND wnd) { return G().windows.count(wnd) != 0; }
std::set<HWND> Manager::GetWnds() { return G().windows; }

int Manager::MessageLoop() {
    MSG msg;
    while (GetMessageW(&msg)) {
        if (PreTranslateMessage(&msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

int Manager::PreTranslateMessage(MSG*) {
    // Alt+F4 would close the window the loop serves.
    return GetKeyState(VK_MENU) < 0 && GetKeyState(VK_F4) < 0 ? 1 : 0;
}

void Manager::ResetForTests() { G() = Globals{}; }
