#include "transfer.h"
#include <algorithm>
#include <vector>
#include "ryinet_kit.h"
#include "visible.h"

namespace {

const ULONGLONG kProgressFrom = 1024 * 1024;
const ULONGLONG kRedrawMs = 100;

double Seconds(ULONGLONG fromMs) { return (GetTickCount64() - fromMs) / 1000.0; }
double MiB(ULONGLONG bytes) { return bytes / (1024.0 * 1024.0); }
double MBps(ULONGLONG bytes, double seconds) { return seconds > 0 ? bytes / seconds / 1e6 : 0; }

bool Ended(const Watchdog* w) { return w && w->ending() != Watchdog::kRunning; }

// The progress line, redrawn in place; its last state stays on screen.
struct Progress {
    FILE* out;
    bool on, hash;
    Watchdog* watchdog;
    ULONGLONG start = GetTickCount64(), last = 0, marked = 0;
    bool shown = false;

    void draw(ULONGLONG bytes, LONGLONG expected) {
        shown = true;
        double rate = MBps(bytes, Seconds(start));
        if (expected > 0)
            fprintf(out, "\r%8.1f MiB of %.1f MiB (%3d%%)  %.1f MB/s   ", MiB(bytes), MiB(expected),
                    static_cast<int>(std::min<ULONGLONG>(bytes, expected) * 100 / expected), rate);
        else
            fprintf(out, "\r%8.1f MiB  %.1f MB/s   ", MiB(bytes), rate);
        fflush(out);
    }
    // The kit's progress callback: stops once the watchdog has ended the command.
    static int update(void* context, ULONGLONG bytes, LONGLONG expected) {
        Progress* p = static_cast<Progress*>(context);
        if (p->hash) {
            for (; p->marked + kHashBytes <= bytes; p->marked += kHashBytes) fputc('#', p->out);
            fflush(p->out);
        }
        ULONGLONG now = GetTickCount64();
        if (p->watchdog) {
            p->watchdog->progress();
            if (Ended(p->watchdog)) return 1;
        }
        if (!p->on || bytes < kProgressFrom || (p->shown && now - p->last < kRedrawMs)) return 0;
        p->last = now;
        p->draw(bytes, expected);
        return 0;
    }
};

// The server's reply when WININET kept one, else WININET's error number.
std::string WhyNot(const char* reply, DWORD error) {
    return reply[0] ? Visible(reply) : "WININET error " + std::to_string(error);
}

std::string Error(const char* what, const std::string& name, DWORD error) {
    return std::string(what) + " " + name + " (error " + std::to_string(error) + ")";
}

// Why a receive failed, as the transcript says it.
std::string Failure(RyKitOutcome outcome, const RyKitReceive& r, const std::string& local) {
    switch (outcome) {
    case RYKIT_BROKE_OFF: return "the transfer broke off: " + WhyNot(r.reply, r.error);
    case RYKIT_NOT_WRITTEN: return Error("cannot write", r.part, r.error);
    case RYKIT_INCOMPLETE:
        return "the transfer ended after " + std::to_string(r.received) + " of " + std::to_string(r.expected) +
               " bytes";
    case RYKIT_CANCELLED: return "cancelled";
    case RYKIT_NOT_RENAMED: return Error("cannot write", local, r.error);
    case RYKIT_TOO_LONG: return "more than the " + std::to_string(r.expected) + " bytes announced came";
    default: return "";
    }
}

}  // namespace

bool GetFile(DWORD connection, HWND owner, const std::string& remote, const std::string& local, FILE* out,
             bool progress, bool hash, Watchdog* watchdog) {
    Progress shown{out, progress, hash, watchdog};
    RyKitReceive r;
    RyKitOutcome outcome =
        RyKitReceiveFile(connection, owner, remote.c_str(), local.c_str(), &Progress::update, &shown, &r);
    double seconds = Seconds(shown.start);
    if (shown.marked) fputs("\n", out);
    if (shown.shown) {
        shown.draw(r.received, r.expected);
        fputs("\n", out);
    }
    if (Ended(watchdog)) {
        // the session says why
    } else if (outcome == RYKIT_NOT_OPENED) {
        fprintf(out, "not received: %s\n", remote.c_str());
    } else if (outcome == RYKIT_NO_PART) {
        fprintf(out, "%s\n", Error("cannot write", r.part, r.error).c_str());
    } else if (outcome == RYKIT_NOT_CONFIRMED) {
        // The server's own word: a 426, or no final reply after the 150 that began it.
        int code = RyKitReplyCode(r.reply);
        fprintf(out, "not received: %s (%s%s)\n", remote.c_str(),
                !r.reply[0] ? "no reply after the transfer" : code >= 100 && code < 200 ? "no final reply after " : "",
                Visible(r.reply).c_str());
    } else if (outcome != RYKIT_RECEIVED) {
        fprintf(out, "not received: %s: %s\n", remote.c_str(), Failure(outcome, r, local).c_str());
    } else if (r.received > kProgressFrom) {
        fprintf(out, "received %s: %llu bytes in %.2f s (%.1f MB/s)\n", local.c_str(), r.received, seconds,
                MBps(r.received, seconds));
    } else {
        fprintf(out, "received %s: %llu bytes\n", local.c_str(), r.received);
    }
    return outcome == RYKIT_RECEIVED;
}

bool PutFile(DWORD connection, const std::string& local, const std::string& remote, FILE* out, DWORD type,
             Watchdog* watchdog) {
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExA(local.c_str(), GetFileExInfoStandard, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        fprintf(out, "no such local file: %s\n", local.c_str());
        return false;
    }
    HINTERNET c = reinterpret_cast<HINTERNET>(static_cast<ULONG_PTR>(connection));
    if (!FtpPutFileA(c, local.c_str(), remote.c_str(), type, 0)) {
        char reply[RYKIT_REPLY_BYTES];
        DWORD error = RyKitLastReply(reply, sizeof reply);
        if (!Ended(watchdog)) fprintf(out, "not sent: %s (%s)\n", local.c_str(), WhyNot(reply, error).c_str());
        return false;
    }
    ULONGLONG size = (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    fprintf(out, "sent %s as %s: %llu bytes\n", local.c_str(), remote.c_str(), size);
    return true;
}

bool ToCrlf(const std::string& local, FILE* out) {
    size_t slash = local.find_last_of("/\\");
    std::string dir = slash == std::string::npos ? "." : local.substr(0, slash + 1);
    char temp[MAX_PATH];
    if (!GetTempFileNameA(dir.c_str(), "ry", 0, temp)) {
        fprintf(out, "%s: line ends not turned into CRLF (error %lu)\n", local.c_str(), GetLastError());
        return false;
    }
    HANDLE in = CreateFileA(local.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE crlf = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr);
    std::vector<char> block(64 * 1024), converted;
    ULONGLONG total = 0;
    bool afterCr = false, ok = in != INVALID_HANDLE_VALUE && crlf != INVALID_HANDLE_VALUE;
    DWORD got, written;
    while (ok && (ok = ReadFile(in, block.data(), static_cast<DWORD>(block.size()), &got, nullptr)) && got) {
        converted.clear();
        for (DWORD i = 0; i < got; ++i) {
            if (block[i] == '\n' && !afterCr) converted.push_back('\r');
            converted.push_back(block[i]);
            afterCr = block[i] == '\r';
        }
        DWORD size = static_cast<DWORD>(converted.size());
        ok = WriteFile(crlf, converted.data(), size, &written, nullptr) && written == size;
        total += size;
    }
    DWORD error = GetLastError();
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    if (crlf != INVALID_HANDLE_VALUE) CloseHandle(crlf);
    if (ok && !MoveFileExA(temp, local.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        ok = false;
        error = GetLastError();
    }
    if (!ok) {
        DeleteFileA(temp);
        fprintf(out, "%s: line ends not turned into CRLF (error %lu)\n", local.c_str(), error);
        return false;
    }
    fprintf(out, "%s: LF line ends turned into CRLF, now %llu bytes\n", local.c_str(), total);
    return true;
}
