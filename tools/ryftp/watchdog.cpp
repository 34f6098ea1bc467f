#include <winsock2.h>
#include "watchdog.h"
#include "ryinet.h"

namespace {

const DWORD kTickMs = 100;
// Handle values are given out lowest first: past this many unused in a row, none is left.
const ULONG_PTR kUnusedRun = 256;
// Inside a listing the platform calls back nothing: it reads the data connection a byte
// at a time, a select and a recv each, on the command's thread, which therefore uses CPU
// time while data arrives and none at all while it waits for a server that has stalled.
// Any CPU time the thread used (counted in the system's 10 ms steps) is progress.
ULONGLONG CpuTime(HANDLE thread) {
    FILETIME created, exited, kernel, user;
    if (!thread || !GetThreadTimes(thread, &created, &exited, &kernel, &user)) return 0;
    auto value = [](const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return value(kernel) + value(user);
}

// The sockets of this process, by handle value.
std::set<ULONG_PTR> OpenSockets() {
    std::set<ULONG_PTR> sockets;
    for (ULONG_PTR h = 4, unused = 0; unused < kUnusedRun; h += 4) {
        DWORD flags;
        if (!GetHandleInformation(reinterpret_cast<HANDLE>(h), &flags)) {
            ++unused;
            continue;
        }
        unused = 0;
        int type = 0, length = sizeof type;
        if (getsockopt(static_cast<SOCKET>(h), SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &length) == 0)
            sockets.insert(h);
    }
    return sockets;
}

}  // namespace

void FtpHandles::close(HWND owner) {
    for (std::atomic<DWORD>* handle : {&connection_, &internet_})
        if (DWORD h = handle->exchange(0)) RyINetClose(h, owner);
}

Watchdog::Watchdog(FtpHandles& handles) : handles_(handles) {
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
    if (commandThread_) CloseHandle(commandThread_);
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

// Wine's blocked socket calls do not notice a closed handle, so the sockets of the
// session's connection are shut down, and their pending I/O cancelled, too. Sockets that
// were open before it connected (the host's own, in a process that runs a session) are
// left alone.
void Watchdog::endSocketCalls() {
    for (ULONG_PTR h : OpenSockets()) {
        if (socketsBefore_.count(h)) continue;
        shutdown(static_cast<SOCKET>(h), SD_BOTH);
        CancelIoEx(reinterpret_cast<HANDLE>(h), nullptr);
    }
}

void Watchdog::check() {
    EnterCriticalSection(&lock_);
    if (busy_ && ending_ == kRunning) {
        ULONGLONG cpu = CpuTime(commandThread_);
        if (cpu != cpuAtProgress_) {
            cpuAtProgress_ = cpu;
            lastProgress_ = GetTickCount();
        }
        DWORD now = GetTickCount();
        bool stalled = timeoutSeconds && !waitingForUser_ && now - lastProgress_ >= timeoutSeconds * 1000;
        bool over = maxTimeSeconds && now - began_ >= maxTimeSeconds * 1000;
        if (cancelAsked_ || stalled || over) {
            ending_ = cancelAsked_ ? kCancelled : over ? kMaxTime : kTimedOut;
            handles_.close(nullptr);
        }
    }
    // A call may block again on its way out (WININET reads the reply that ends a transfer
    // as its file handle goes): keep ending them until the command is back.
    if (busy_ && ending_ != kRunning && sockets_) endSocketCalls();
    LeaveCriticalSection(&lock_);
}

void Watchdog::connecting() {
    std::set<ULONG_PTR> before = sockets_ ? OpenSockets() : std::set<ULONG_PTR>();
    EnterCriticalSection(&lock_);
    socketsBefore_.swap(before);
    LeaveCriticalSection(&lock_);
}

void Watchdog::begin() {
    EnterCriticalSection(&lock_);
    if (commandThreadId_ != GetCurrentThreadId()) {
        if (commandThread_) CloseHandle(commandThread_);
        commandThreadId_ = GetCurrentThreadId();
        commandThread_ = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, commandThreadId_);
    }
    cpuAtProgress_ = CpuTime(commandThread_);
    began_ = GetTickCount();
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
    Ending how = ending_;
    ending_ = kRunning;
    LeaveCriticalSection(&lock_);
    return how;
}
