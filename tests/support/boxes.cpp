#include "boxes.h"
#include <mutex>

namespace {
std::mutex g_lock;
std::vector<BoxSeen> g_seen;

int WINAPI RecordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_seen.push_back({owner, text ? text : "(null)", caption ? caption : "(null)", style});
    return IDOK;
}
}  // namespace

std::ostream& operator<<(std::ostream& os, const BoxSeen& b) {
    return os << "{owner " << b.owner << ", \"" << b.text << "\", \"" << b.caption << "\", style 0x"
              << std::hex << b.style << std::dec << "}";
}

bool ReadShownBox(HWND window, ShownBox* box) {
    const int kMessageBoxText = 0xFFFF;  // the static control that holds a message box's text
    char cls[64] = "", caption[256] = "", text[512] = "";
    if (!GetClassNameA(window, cls, sizeof cls) || lstrcmpA(cls, "#32770") != 0) return false;
    GetWindowTextA(window, caption, sizeof caption);
    GetDlgItemTextA(window, kMessageBoxText, text, sizeof text);
    *box = {GetWindow(window, GW_OWNER), caption, text};
    return true;
}

BoxRecorder::BoxRecorder()
    : patch_(Ryinet(), "USER32.dll", "MessageBoxA", reinterpret_cast<void*>(&RecordBox)) {
    take();
}

BoxRecorder::~BoxRecorder() { take(); }

std::vector<BoxSeen> BoxRecorder::take() {
    std::lock_guard<std::mutex> hold(g_lock);
    std::vector<BoxSeen> out;
    out.swap(g_seen);
    return out;
}
