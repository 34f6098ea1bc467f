#include "box_watch.h"
#include <stdio.h>
#include <algorithm>

namespace {
BoxWatch* g_watch;                   // the hook procedure has no context of its own
const int kMessageBoxTextId = 0xFFFF;  // the static control holding a message box's text
}  // namespace

BoxWatch::BoxWatch(bool echo) : echo_(echo) {
    g_watch = this;
    hook_ = SetWindowsHookExA(WH_CBT, &BoxWatch::OnCbt, nullptr, GetCurrentThreadId());
}

BoxWatch::~BoxWatch() {
    if (hook_) UnhookWindowsHookEx(hook_);
    g_watch = nullptr;
}

void BoxWatch::startCommand() { shown_.clear(); }
int BoxWatch::shownSinceStart() const { return static_cast<int>(shown_.size()); }

LRESULT CALLBACK BoxWatch::OnCbt(int code, WPARAM wParam, LPARAM lParam) {
    HWND box = reinterpret_cast<HWND>(wParam);
    char cls[16] = "";
    if (code == HCBT_ACTIVATE && g_watch && GetClassNameA(box, cls, sizeof cls) &&
        lstrcmpA(cls, "#32770") == 0 &&
        std::find(g_watch->shown_.begin(), g_watch->shown_.end(), box) == g_watch->shown_.end()) {
        g_watch->shown_.push_back(box);
        if (g_watch->echo_) {
            char caption[256] = "", text[1024] = "";
            GetWindowTextA(box, caption, sizeof caption);
            GetDlgItemTextA(box, kMessageBoxTextId, text, sizeof text);
            printf("[box] %s: %s\n", caption, text);
            fflush(stdout);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
