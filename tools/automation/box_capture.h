// RYINET reports most failures only as a box. The host kit's box watch sees every box the
// library shows on the server's one thread; the call that showed it failed, and the box's
// text becomes the caller's error. The box shows as the DLL shows it, owned by the
// caller's window, or, when the caller chose no boxes, is answered as soon as it shows.
// Boxes need a window system: where none runs (Wine without a display), the library's
// box cannot open, and a failure that only a box would report goes unseen.
#pragma once
#include <windows.h>
#include <string>

// Once, on the server's thread, before any object is served. False when the watch could
// not be set.
bool WatchBoxes();
void StopWatchingBoxes();

// The boxes of one call, while it lives on this thread. Captures nest: a box's modal loop
// may run another client's call, whose boxes are its own.
class BoxCapture {
public:
    explicit BoxCapture(bool show);
    ~BoxCapture();
    BoxCapture(const BoxCapture&) = delete;
    BoxCapture& operator=(const BoxCapture&) = delete;

    bool Seen() const { return seen_; }
    // The first box's text (a failure's later boxes only repeat where it happened).
    const std::string& Text() const { return text_; }

private:
    friend int OnBox(void*, const struct RyKitShownBox*);
    bool show_, seen_;
    std::string text_;
    BoxCapture* outer_;
};
