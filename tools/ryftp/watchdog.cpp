#include <winsock2.h>
#include "watchdog.h"
#include "ryinet.h"

namespace {

const DWORD kTickMs = 100;
// Handle values of a small console program stay well below this.
const ULONG_PTR kHandleScanEnd = 0x10000;

// Ends every socket call of this process: shut down, so that the next one returns at once,
// and the pending ones cancelled.
void EndSocketCalls() {
    for (ULONG_PTR h = 4; h < kHandleScanEnd; h += 4) {
        int type = 0, length = sizeof type;
        if (getsockopt(static_cast<SOCKET>(h), SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &length) != 0)
            continue;
        shutdown(static_cast<SOCKET>(h), SD_BOTH);
        CancelIoEx(reinterpret_cast<HANDLE>(h), nullptr);
    }
}

}  // namespace

void CloseTaken(DWORD* handle, HWND owner) {
    DWORD h = static_cast<DWORD>(InterlockedExchange(reinterpret_cast<volatile LONG*>(handle), 0));
    if (h) RyINetClose(h, owner);
}

Watchdog::Watchdog() {
    InitializeCriticalSection(&lock_);
    WSADATA wsa;
    sockets_ = WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
    wake_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, &Watch, this, 0, nullptr);
}

Watchdog::~Watchdog() {
    stop_ = true;
    SetEvent(wake_);
    if (thread_) {
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
    }
    CloseHandle(wake_);
    if (sockets_) WSACleanup();
    DeleteCriticalSection(&lock_);
}

DWORD WINAPI Watchdog::Watch(void* self) {
    Watchdog* w = static_cast<Watchdog*>(self);
    while (!w->stop_) {
        WaitForSingleObject(w->wake_, kTickMs);
        w->check();
    }
    return 0;
}

void Watchdog::check() {
    EnterCriticalSection(&lock_);
    if (busy_ && ending_ == kRunning) {
        bool late = timeoutSeconds && !waitingForUser_ && GetTickCount() - lastProgress_ >= timeoutSeconds * 1000;
        if (cancelAsked_ || late) {
            ending_ = cancelAsked_ ? kCancelled : kTimedOut;
            CloseTaken(connection_, nullptr);
            CloseTaken(internet_, nullptr);
        }
    }
    // A call may block again on its way out (WININET reads the reply that ends a transfer
    // as its file handle goes): keep ending them until the command is back.
    if (busy_ && ending_ != kRunning && sockets_) EndSocketCalls();
    LeaveCriticalSection(&lock_);
}

void Watchdog::begin(DWORD* internet, DWORD* connection) {
    EnterCriticalSection(&lock_);
    internet_ = internet;
    connection_ = connection;
    lastProgress_ = GetTickCount();
    ending_ = kRunning;
    cancelAsked_ = waitingForUser_ = false;
    busy_ = true;
    LeaveCriticalSection(&lock_);
}

void Watchdog::progress() { lastProgress_ = GetTickCount(); }

void Watchdog::waitForUser(bool on) {
    waitingForUser_ = on;
    lastProgress_ = GetTickCount();
}

bool Watchdog::cancel() {
    EnterCriticalSection(&lock_);
    bool running = busy_;
    if (running) cancelAsked_ = true;
    LeaveCriticalSection(&lock_);
    if (running) SetEvent(wake_);
    return running;
}

Watchdog::Ending Watchdog::finish() {
    EnterCriticalSection(&lock_);
    busy_ = false;
    Ending how = static_cast<Ending>(ending_);
    ending_ = kRunning;
    internet_ = connection_ = nullptr;
    LeaveCriticalSection(&lock_);
    return how;
}
