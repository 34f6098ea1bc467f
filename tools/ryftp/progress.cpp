#include "progress.h"
#include <algorithm>

namespace ryftp {
namespace {

const ULONGLONG kLineFrom = 1024 * 1024;
const ULONGLONG kRedrawMs = 100;

double MiB(ULONGLONG bytes) { return bytes / (1024.0 * 1024.0); }

}  // namespace

double MBps(ULONGLONG bytes, double seconds) { return seconds > 0 ? bytes / seconds / 1e6 : 0; }

double ProgressMeter::seconds() const { return (GetTickCount64() - start_) / 1000.0; }

void ProgressMeter::draw(ULONGLONG bytes, LONGLONG expected) {
    drawn_ = true;
    double rate = MBps(bytes, seconds());
    char line[96];
    if (expected > 0)
        snprintf(line, sizeof line, "\r%8.1f MiB of %.1f MiB (%3d%%)  %.1f MB/s   ", MiB(bytes), MiB(expected),
                 static_cast<int>(std::min<ULONGLONG>(bytes, expected) * 100 / expected), rate);
    else
        snprintf(line, sizeof line, "\r%8.1f MiB  %.1f MB/s   ", MiB(bytes), rate);
    s_.sayOnLine(line);
}

int ProgressMeter::Update(void* meter, ULONGLONG bytes, LONGLONG expected) {
    ProgressMeter* p = static_cast<ProgressMeter*>(meter);
    p->s_.watchdog.progress();
    if (p->s_.watchdog.ending() != Watchdog::kRunning) return 1;
    if (p->style_ == ProgressStyle::kHash) {
        std::string marks;
        for (; p->marked_ + kHashBytes <= bytes; p->marked_ += kHashBytes) marks += '#';
        if (!marks.empty()) p->s_.sayOnLine(marks);
        return 0;
    }
    ULONGLONG now = GetTickCount64();
    if (bytes < kLineFrom || (p->drawn_ && now - p->lastDrawn_ < kRedrawMs)) return 0;
    p->lastDrawn_ = now;
    p->draw(bytes, expected);
    return 0;
}

void ProgressMeter::finish(ULONGLONG bytes, LONGLONG expected) {
    if (drawn_) draw(bytes, expected);
    s_.endLine();
}

}  // namespace ryftp
