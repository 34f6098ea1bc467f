// How a transfer shows that it moves, and how the watchdog sees it: a progress line
// redrawn in place for files over 1 MiB (its last state stays on screen), or a # for
// every kHashBytes (the hash command). Each block is progress for the watchdog; once the
// watchdog has ended the command, the meter stops the transfer.
#pragma once
#include <windows.h>
#include "session.h"

namespace ryftp {

class ProgressMeter {
public:
    explicit ProgressMeter(Session& s) : s_(s), style_(s.progressStyle()) {}
    // The host kit's progress callback (RyKitProgress), with the meter as its context.
    static int Update(void* meter, ULONGLONG bytes, LONGLONG expected);
    // The transfer is over: the hash marks' line ends, the line shows where it stopped.
    void finish(ULONGLONG bytes, LONGLONG expected);
    double seconds() const;

private:
    void draw(ULONGLONG bytes, LONGLONG expected);

    Session& s_;
    ProgressStyle style_;
    ULONGLONG start_ = GetTickCount64(), lastDrawn_ = 0, marked_ = 0;
    bool drawn_ = false;
};

double MBps(ULONGLONG bytes, double seconds);

}  // namespace ryftp
