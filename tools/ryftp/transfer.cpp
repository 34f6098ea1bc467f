#include "transfer.h"
#include <wininet.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vector>
#include "ryinet.h"

namespace {

const DWORD kBlock = 64 * 1024;
const unsigned long long kProgressFrom = 1024 * 1024;
const ULONGLONG kRedrawMs = 100;

HINTERNET Internet(DWORD handle) { return reinterpret_cast<HINTERNET>(handle); }

// The server's last reply when WININET has one, else its error number.
std::string WhyNot() {
    DWORD error = GetLastError();
    if (error == ERROR_INTERNET_EXTENDED_ERROR) {
        char reply[512] = "";
        DWORD length = sizeof reply, code = 0;
        if (InternetGetLastResponseInfoA(&code, reply, &length)) {
            std::string text(reply);
            while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
            return text;
        }
    }
    return "WININET error " + std::to_string(error);
}

double Seconds(ULONGLONG fromMs) { return (GetTickCount64() - fromMs) / 1000.0; }
double MiB(unsigned long long bytes) { return bytes / (1024.0 * 1024.0); }
double MBps(unsigned long long bytes, double seconds) { return seconds > 0 ? bytes / seconds / 1e6 : 0; }

class Progress {
public:
    Progress(long long expected, bool on) : expected_(expected), on_(on), start_(GetTickCount64()) {}
    void update(unsigned long long bytes) {
        if (!on_ || bytes < kProgressFrom) return;
        ULONGLONG now = GetTickCount64();
        if (shown_ && now - last_ < kRedrawMs) return;
        last_ = now;
        draw(bytes);
    }
    // The last state stays on screen.
    void finish(unsigned long long bytes) {
        if (!shown_) return;
        draw(bytes);
        fputs("\n", stdout);
    }
    ULONGLONG start() const { return start_; }

private:
    void draw(unsigned long long bytes) {
        shown_ = true;
        double rate = MBps(bytes, Seconds(start_));
        if (expected_ > 0)
            printf("\r%8.1f MiB of %.1f MiB (%3d%%)  %.1f MB/s   ", MiB(bytes), MiB(expected_),
                   static_cast<int>(bytes * 100 / expected_), rate);
        else
            printf("\r%8.1f MiB  %.1f MB/s   ", MiB(bytes), rate);
        fflush(stdout);
    }
    long long expected_;
    bool on_, shown_ = false;
    ULONGLONG start_, last_ = 0;
};

}  // namespace

long long RemoteSize(DWORD connection, const std::string& remote) {
    if (remote.find_first_of("\r\n") != std::string::npos) return -1;
    // Servers answer SIZE for binary transfers only.
    if (!FtpCommandA(Internet(connection), FALSE, FTP_TRANSFER_TYPE_BINARY, "TYPE I", 0, nullptr))
        return -1;
    FtpCommandA(Internet(connection), FALSE, FTP_TRANSFER_TYPE_BINARY, ("SIZE " + remote).c_str(), 0, nullptr);
    char reply[256] = "";
    DWORD length = sizeof reply, code = 0;
    if (!InternetGetLastResponseInfoA(&code, reply, &length) || strncmp(reply, "213 ", 4) != 0) return -1;
    return strtoll(reply + 4, nullptr, 10);
}

bool GetFile(DWORD connection, HWND owner, const std::string& remote, const std::string& local,
             bool progress) {
    long long expected = RemoteSize(connection, remote);
    DWORD file = RyFtpOpenFile(owner, connection, remote.c_str());
    if (!file) {
        printf("not received: %s\n", remote.c_str());
        return false;
    }
    std::string part = local + ".part";
    HANDLE out = CreateFileA(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        RyINetClose(file, owner);
        printf("cannot write %s (error %lu)\n", part.c_str(), GetLastError());
        return false;
    }

    Progress shown(expected, progress);
    std::vector<char> block(kBlock);
    unsigned long long received = 0;
    std::string failure;
    for (;;) {
        DWORD got = 0, written = 0;
        if (!InternetReadFile(Internet(file), block.data(), kBlock, &got)) {
            failure = "the transfer broke off: " + WhyNot();
            break;
        }
        if (got == 0) break;
        if (!WriteFile(out, block.data(), got, &written, nullptr) || written != got) {
            failure = "cannot write " + part + " (error " + std::to_string(GetLastError()) + ")";
            break;
        }
        received += got;
        shown.update(received);
    }
    RyINetClose(file, owner);  // the file handle goes before its connection
    CloseHandle(out);
    double seconds = Seconds(shown.start());
    shown.finish(received);

    if (failure.empty() && expected >= 0 && received != static_cast<unsigned long long>(expected))
        failure = "the transfer ended after " + std::to_string(received) + " of " +
                  std::to_string(expected) + " bytes";
    if (failure.empty() && !MoveFileExA(part.c_str(), local.c_str(), MOVEFILE_REPLACE_EXISTING))
        failure = "cannot write " + local + " (error " + std::to_string(GetLastError()) + ")";
    if (!failure.empty()) {
        DeleteFileA(part.c_str());
        printf("not received: %s: %s\n", remote.c_str(), failure.c_str());
        return false;
    }
    if (received > kProgressFrom)
        printf("received %s: %llu bytes in %.2f s (%.1f MB/s)\n", local.c_str(), received, seconds,
               MBps(received, seconds));
    else
        printf("received %s: %llu bytes\n", local.c_str(), received);
    return true;
}

bool PutFile(DWORD connection, const std::string& local, const std::string& remote) {
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExA(local.c_str(), GetFileExInfoStandard, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        printf("no such local file: %s\n", local.c_str());
        return false;
    }
    if (!FtpPutFileA(Internet(connection), local.c_str(), remote.c_str(), FTP_TRANSFER_TYPE_BINARY, 0)) {
        printf("not sent: %s (%s)\n", local.c_str(), WhyNot().c_str());
        return false;
    }
    unsigned long long size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    printf("sent %s as %s: %llu bytes\n", local.c_str(), remote.c_str(), size);
    return true;
}
