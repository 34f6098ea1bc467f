#include "progress.h"
#include <stdio.h>
#include <algorithm>
#include "text.h"

namespace ryftp {
namespace {

const ULONGLONG kLineFrom = 1024 * 1024;  // a transfer this large shows the line at once,
const ULONGLONG kLineAfterMs = 500;       // any other once it has run this long
const ULONGLONG kRedrawMs = 100;

std::string Amount(ULONGLONG bytes) {
    char text[32];
    if (bytes < 1024 * 1024) snprintf(text, sizeof text, "%.1f KiB", bytes / 1024.0);
    else snprintf(text, sizeof text, "%.1f MiB", bytes / (1024.0 * 1024.0));
    return text;
}

// "0:35", "12:03", "1:02:03", as curl and wget show the time left.
std::string Duration(double seconds) {
    unsigned long s = static_cast<unsigned long>(seconds + 0.5);
    char text[32];
    if (s >= 3600) snprintf(text, sizeof text, "%lu:%02lu:%02lu", s / 3600, s / 60 % 60, s % 60);
    else snprintf(text, sizeof text, "%lu:%02lu", s / 60, s % 60);
    return text;
}

}  // namespace

std::string Rate(ULONGLONG bytes, double seconds) {
    double rate = seconds > 0 ? bytes / seconds : 0;
    char text[32];
    if (rate < 1e3) snprintf(text, sizeof text, "%.0f B/s", rate);
    else if (rate < 1e6) snprintf(text, sizeof text, "%.1f KB/s", rate / 1e3);
    else snprintf(text, sizeof text, "%.1f MB/s", rate / 1e6);
    return text;
}

double ProgressMeter::seconds() const { return (GetTickCount64() - start_) / 1000.0; }

void ProgressMeter::draw(ULONGLONG bytes, LONGLONG expected) {
    drawn_ = true;
    ULONGLONG now = GetTickCount64();
    // From the first report on, so that the bytes a transfer went on from count for none.
    double since = (now - firstAt_) / 1000.0;
    std::string rate = since > 0.2 ? Rate(bytes - firstBytes_, since) : Rate(bytes, (now - start_) / 1000.0);
    double perSecond = since > 0.2 ? (bytes - firstBytes_) / since : 0;
    std::string line = "\r" + Amount(bytes);
    if (expected > 0) {
        int percent = static_cast<int>(std::min<ULONGLONG>(bytes, expected) * 100 / expected);
        line += " of " + Amount(expected) + " (" + std::to_string(percent) + "%)";
    }
    line += "  " + rate;
    if (expected > 0 && perSecond > 0 && bytes < static_cast<ULONGLONG>(expected))
        line += "  " + Duration((expected - bytes) / perSecond) + " left";
    s_.sayOnLine(line + "   ");
}

int ProgressMeter::Update(void* meter, ULONGLONG bytes, LONGLONG expected) {
    ProgressMeter* p = static_cast<ProgressMeter*>(meter);
    p->s_.watchdog.progress();
    if (p->s_.watchdog.ending() != Watchdog::kRunning) return 1;
    ULONGLONG now = GetTickCount64();
    if (!p->firstAt_) {
        p->firstAt_ = now;
        p->firstBytes_ = bytes;
    }
    if (p->style_ == ProgressStyle::kHash) {
        std::string marks;
        for (; p->marked_ + kHashBytes <= bytes; p->marked_ += kHashBytes) marks += '#';
        if (!marks.empty()) p->s_.sayOnLine(marks);
        return 0;
    }
    if ((bytes < kLineFrom && now - p->start_ < kLineAfterMs) || (p->drawn_ && now - p->lastDrawn_ < kRedrawMs))
        return 0;
    p->lastDrawn_ = now;
    p->draw(bytes, expected);
    return 0;
}

void ProgressMeter::finish(ULONGLONG bytes, LONGLONG expected) {
    if (drawn_) draw(bytes, expected);
    s_.endLine();
}

void BatchMeter::draw(bool again) {
    const RyKitBatch& b = last_;
    if (!again && b.ended == drawnEnded_ && b.bytes == drawnBytes_) return;
    drawnEnded_ = b.ended;
    drawnBytes_ = b.bytes;
    double seconds = b.milliseconds / 1000.0;
    std::string line = "\r" + std::to_string(b.ended) + " of " + std::to_string(b.count) + " files, " + Amount(b.bytes);
    if (b.total > 0) line += " of " + Amount(b.total);
    line += "  " + Rate(b.bytes, seconds);
    double left = b.total > b.bytes && b.bytes > 0 ? (b.total - b.bytes) * seconds / b.bytes
                  : b.ended > 0 && b.ended < b.count ? (b.count - b.ended) * seconds / b.ended : 0;
    if (left > 0) line += "  " + Duration(left) + " left";
    s_.sayOnLine(line + "   ");
    drawn_ = true;
}

int BatchMeter::Update(void* meter, const RyKitBatch* batch) {
    BatchMeter* m = static_cast<BatchMeter*>(meter);
    m->s_.watchdog.progress();
    if (m->s_.watchdog.ending() != Watchdog::kRunning) return 1;
    m->last_ = *batch;
    if (m->style_ == ProgressStyle::kHash) {
        std::string marks;
        for (; m->marked_ + kHashBytes <= batch->bytes; m->marked_ += kHashBytes) marks += '#';
        if (!marks.empty()) m->s_.sayOnLine(marks);
    } else if (batch->bytes >= kLineFrom || batch->milliseconds >= kLineAfterMs) {
        m->draw();
    }
    return 0;
}

void BatchMeter::clear() {
    if (style_ == ProgressStyle::kLine) s_.clearLine();
}

void BatchMeter::redraw() {
    if (drawn_ && style_ == ProgressStyle::kLine && IsConsole(s_.out)) draw(true);
}

void BatchMeter::finish() {
    if (drawn_ && style_ == ProgressStyle::kLine) draw();
    s_.endLine();
}

}  // namespace ryftp
