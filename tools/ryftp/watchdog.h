// The watchdog: ends a command that has made no progress for a while (--timeout), that
// has run for longer than its whole allowance (--max-time), or that the user cancelled
// with Ctrl-C, so that no server can hold ryftp for good. The host kit's RyKitWatchdog
// does the work (the Explorer uses it too); this owns it and the handles it may close.
#pragma once
#include <windows.h>
#include "ryinet_kit.h"

// The RYINET handles of one FTP session: the internet session and its connection. The
// session's thread and the watchdog may both reach for them; each is closed once.
class FtpHandles {
public:
    DWORD internet() const { return static_cast<DWORD>(internet_); }
    DWORD connection() const { return static_cast<DWORD>(connection_); }
    void open(DWORD internet, DWORD connection) {
        InterlockedExchange(&internet_, static_cast<LONG>(internet));
        InterlockedExchange(&connection_, static_cast<LONG>(connection));
    }
    // The variables themselves, for the host kit's link, which opens them anew.
    volatile LONG* internetSlot() { return &internet_; }
    volatile LONG* connectionSlot() { return &connection_; }
    // Takes each handle, leaving 0, and closes it: the connection, then the session.
    void close(HWND owner) {
        RyKitCloseTaken(&connection_, owner);
        RyKitCloseTaken(&internet_, owner);
    }

private:
    friend class Watchdog;
    volatile LONG internet_ = 0, connection_ = 0;
};

class Watchdog {
public:
    enum Ending { kRunning = RYKIT_RUNNING, kTimedOut = RYKIT_STALLED, kMaxTime = RYKIT_OVER_TIME,
                  kCancelled = RYKIT_CANCELLED_CALL };

    explicit Watchdog(FtpHandles& handles) { RyKitWatchdogStart(&w_, &handles.connection_, &handles.internet_); }
    ~Watchdog() { RyKitWatchdogStop(&w_); }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // No progress for so long ends a command (default 120); one that ran so long ends,
    // whatever it does (default 0); 0: never.
    void setLimits(unsigned timeoutSeconds, unsigned maxTimeSeconds) {
        w_.timeoutSeconds = timeoutSeconds;
        w_.maxTimeSeconds = maxTimeSeconds;
    }
    unsigned timeoutSeconds() const { return w_.timeoutSeconds; }
    unsigned maxTimeSeconds() const { return w_.maxTimeSeconds; }

    // The session is about to connect: the sockets open now are not its own.
    void connecting() { RyKitWatchdogConnecting(&w_); }
    void begin() { RyKitWatchdogBegin(&w_); }  // a command begins on the calling thread
    void progress() { RyKitWatchdogProgress(&w_); }
    void waitForUser(bool on) { RyKitWatchdogWaitForUser(&w_, on); }  // a prompt: no time-out
    bool cancel() { return RyKitWatchdogCancel(&w_) != 0; }  // Ctrl-C, from any thread
    RyKitWatchdog* kit() { return &w_; }
    Ending ending() const { return static_cast<Ending>(RyKitWatchdogEnding(&w_)); }
    Ending finish() { return static_cast<Ending>(RyKitWatchdogFinish(&w_)); }  // how it ended

private:
    RyKitWatchdog w_;
};
