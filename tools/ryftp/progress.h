// How a transfer shows that it moves, and how the watchdog sees it: a progress line
// redrawn in place (its last state stays on screen) for a transfer over 1 MiB or one that
// has run for half a second, with the rate in a unit that reads and the time left when the
// size is known, or a # for every kHashBytes (the hash command). The kit tells progress at
// the first bytes and then a few times a second, at any rate; each time is progress for
// the watchdog, and once the watchdog has ended the command, the meter stops the transfer.
#pragma once
#include <windows.h>
#include <string>
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
    ULONGLONG firstAt_ = 0, firstBytes_ = 0;  // the first report: the rate counts from there
    bool drawn_ = false;
};

// Many files at once (mget, mput and mdelete over --parallel connections): one line for the
// batch, drawn as a transfer's is, with the files ended of all, the bytes, the rate and
// the time left. Each file's own line goes above it.
class BatchMeter {
public:
    explicit BatchMeter(Session& s) : s_(s), style_(s.progressStyle()) {}
    // The host kit's batch callback (RyKitBatchProgress), with the meter as its context.
    static int Update(void* meter, const RyKitBatch* batch);
    void clear();   // before a file's line
    void redraw();  // after it
    void finish();  // the batch is over

private:
    void draw(bool again = false);  // again: the same figures drawn again

    Session& s_;
    ProgressStyle style_;
    RyKitBatch last_{};
    ULONGLONG marked_ = 0, drawnBytes_ = ~0ULL;  // the line shows them already
    unsigned drawnEnded_ = ~0u;
    bool drawn_ = false;
};

// A rate as it reads: "512 B/s", "7.9 KB/s", "406.2 MB/s".
std::string Rate(ULONGLONG bytes, double seconds);

}  // namespace ryftp
