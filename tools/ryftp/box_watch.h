// Watches the information boxes the library shows on this thread, through a WH_CBT hook:
// a command that showed a box failed. With echo on, each box is printed as
// "[box] CAPTION: TEXT" and dismissed, so an unattended session tells the whole story;
// with echo off the box stays for the user and is only counted.
#pragma once
#include <windows.h>
#include <vector>

class BoxWatch {
public:
    explicit BoxWatch(bool echo);  // one per process, on the thread that calls the library
    ~BoxWatch();
    BoxWatch(const BoxWatch&) = delete;
    BoxWatch& operator=(const BoxWatch&) = delete;

    void startCommand();        // forget the boxes of earlier commands
    int shownSinceStart() const;

private:
    static LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam);
    HHOOK hook_;
    bool echo_;
    std::vector<HWND> shown_;  // a box is activated again when the user switches back to it
};
