#include "box_capture.h"
#include "ryinet_kit.h"

namespace {
RyKitBoxWatch g_watch;
// The calls of the objects run on the server's one apartment thread.
BoxCapture* g_active = nullptr;
}  // namespace

int OnBox(void*, const RyKitShownBox* box) {
    BoxCapture* capture = g_active;
    if (!capture) return 0;  // not the library's: a box of no call
    if (!capture->seen_) capture->text_ = box->text;
    capture->seen_ = true;
    return capture->show_ ? 0 : IDOK;
}

bool WatchBoxes() { return RyKitWatchBoxes(&g_watch, OnBox, nullptr) != 0; }

void StopWatchingBoxes() { RyKitStopWatching(&g_watch); }

BoxCapture::BoxCapture(bool show) : show_(show), seen_(false), outer_(g_active) { g_active = this; }

BoxCapture::~BoxCapture() { g_active = outer_; }
