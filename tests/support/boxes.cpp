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

ShownBoxes::ShownBoxes(Answer answer) : answer_(std::move(answer)) { RyKitWatchBoxes(&watch_, &OnBox, this); }

ShownBoxes::~ShownBoxes() { RyKitStopWatching(&watch_); }

int ShownBoxes::OnBox(void* self, const RyKitShownBox* box) {
    ShownBoxes* me = static_cast<ShownBoxes*>(self);
    me->seen.push_back({box->owner, box->caption, box->text});
    return me->answer_ ? me->answer_(box->box) : IDOK;
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
