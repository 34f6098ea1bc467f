// RYINET reports most failures only as a box. The server points the DLL's
// USER32!MessageBoxA import at itself, so that a call of the object knows it failed and
// why (the box's text becomes the caller's error), and shows the box as the DLL would,
// owned by the caller's window, or not at all when the caller chose so.
#pragma once
#include <windows.h>
#include <string>

// Once per process, after RYINET.DLL is loaded. False when its import is not found.
bool InstallBoxCapture(HMODULE ryinet);

// The boxes of one call, while it lives on this thread. Captures nest: a box's modal
// loop may run another client's call, whose boxes are its own.
class BoxCapture {
public:
    explicit BoxCapture(bool show);
    ~BoxCapture();
    BoxCapture(const BoxCapture&) = delete;
    BoxCapture& operator=(const BoxCapture&) = delete;

    bool Seen() const { return !text_.empty(); }
    // The first box's text (a failure's later boxes only repeat where it happened).
    const std::string& Text() const { return text_; }

private:
    friend int WINAPI CapturedMessageBox(HWND, LPCSTR, LPCSTR, UINT);
    bool show_;
    std::string text_;
    BoxCapture* outer_;
};
