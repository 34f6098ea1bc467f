// The watchdog: ends a command that has made no progress for a while, or that the user
// cancelled with Ctrl-C, so that no server can hold ryftp for good. Wine ignores
// WININET's time-outs for FTP, and a listing's data connection has none at all; what a
// host can do is end the call from another thread. The watchdog closes the session's
// handles, which ends a blocked call on Windows; as Wine's blocked socket calls do not
// notice that, it also cancels the I/O pending on this process's sockets, again and
// again, until the command has returned. Every socket ryftp holds is its one FTP
// connection's: the library keeps no other open.
#pragma once
#include <windows.h>

// Takes the RYINET handle at *handle, leaving 0 there, and closes it. The watchdog and
// the session may reach for the same handle from two threads: only one closes it.
void CloseTaken(DWORD* handle, HWND owner);

class Watchdog {
public:
    enum Ending { kRunning, kTimedOut, kCancelled };

    Watchdog();
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    unsigned timeoutSeconds = 120;  // 0: commands may take as long as they take

    // A command begins on the session whose handles these are; the watchdog closes them
    // and sets them to 0 when it ends the command.
    void begin(DWORD* internet, DWORD* connection);
    void progress();              // the command moved on: its time starts again
    void waitForUser(bool on);    // a prompt: no time-out while the user types
    bool cancel();                // Ctrl-C, from any thread; false when no command runs
    Ending ending() const { return static_cast<Ending>(ending_); }
    Ending finish();              // the command returned: how it ended

private:
    static DWORD WINAPI Watch(void* self);
    void check();

    CRITICAL_SECTION lock_;
    HANDLE wake_, thread_;
    volatile bool stop_ = false, busy_ = false, waitingForUser_ = false, cancelAsked_ = false;
    volatile LONG ending_ = kRunning;
    volatile DWORD lastProgress_ = 0;  // GetTickCount: differences stay right across its wrap
    DWORD *internet_ = nullptr, *connection_ = nullptr;
    bool sockets_;  // WSAStartup succeeded
};
