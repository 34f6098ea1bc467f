// ryexplorer: the RYINET Explorer's entry; the window lives in explorer.cpp.
#include <windows.h>
#include "explorer.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    HWND window = CreateExplorerWindow(instance, show);
    if (!window) return 1;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (ExplorerTranslateMessage(window, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
