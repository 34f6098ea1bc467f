// ryexplorer: the RYINET Explorer's entry; the window lives in explorer.cpp. Its messages
// are read and dispatched with the W calls, as the window is a Unicode one: a character
// typed into it arrives as UTF-16, whatever the ANSI code page holds.
#include <windows.h>
#include "explorer.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    HWND window = CreateExplorerWindow(instance, show);
    if (!window) return 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (ExplorerTranslateMessage(window, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
