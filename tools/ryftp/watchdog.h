// The watchdog: ends a command that has made no progress for a while (--timeout), that
// has run for longer than its whole allowance (--max-time), or that the user cancelled
// with Ctrl-C, so that no server can hold ryftp for good. Wine ignores
// WININET's time-outs for FTP, and a listing's data connection has none at all; what a
// host can do is end the call from another thread: close the handles it runs on, which
// ends a blocked call on Windows.
#pragma once
#include <windows.h>
#include <atomic>
#include <set>

// The RYINET handles of one FTP session: the internet session and its connection. The
// session's thread and the watchdog may both reach for them; each is closed once.
class FtpHandles {
public:
    DWORD internet() const { return internet_; }
    DWORD connection() const { return connection_; }
    void open(DWORD internet, DWORD connection) {
        internet_ = internet;
        connection_ = connection;
    }
    // Takes each handle, leaving 0, and closes it: the connection, then the session.
    void close(HWND owner);

private:
    std::atomic<DWORD> internet_{0}, connection_{0};
};

class Watchdog {
public:
    enum Ending { kRunning, kTimedOut, kMaxTime, kCancelled };

    explicit Watchdog(FtpHandles& handles);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    unsigned timeoutSeconds = 120;  // no progress for so long ends a command; 0: never
    unsigned maxTimeSeconds = 0;    // a command ends after so long, whatever it does; 0: never

    // The session is about to connect: the sockets open now are not its own, and are left
    // alone when a command is ended.
    void connecting();
    void begin();                 // a command begins on the calling thread
    void progress();              // the command moved on: its time starts again
    void waitForUser(bool on);    // a prompt: no time-out while the user types
    bool cancel();                // Ctrl-C, from any thread; false when no command runs
    Ending ending() const { return ending_; }
    Ending finish();              // the command returned: how it ended

private:
    static DWORD WINAPI Watch(void* self);
    void check();
    void endSocketCalls();

    FtpHandles& handles_;
    CRITICAL_SECTION lock_;
    HANDLE wake_, thread_;
    std::atomic<bool> stop_{false}, busy_{false}, waitingForUser_{false}, cancelAsked_{false};
    std::atomic<Ending> ending_{kRunning};
    std::atomic<DWORD> lastProgress_{0};  // GetTickCount: differences stay right across its wrap
    DWORD began_ = 0;
    HANDLE commandThread_ = nullptr;      // the thread the command runs on
    DWORD commandThreadId_ = 0;
    ULONGLONG cpuAtProgress_ = 0;         // its CPU time when it last made progress
    std::set<ULONG_PTR> socketsBefore_;   // open before the session connected: not its own
    bool sockets_;                        // WSAStartup succeeded
};
