// Owns a handle RYINET returned (session, connection or file) and closes it with
// RyINetClose. Declare a session before its connections and a connection before its
// files, so they close in the order RYINET requires: files, connections, session.
#pragma once
#include <windows.h>
#include <wininet.h>
#include "ryinet.h"

class RyHandle {
public:
    RyHandle() : handle_(0) {}
    explicit RyHandle(DWORD handle) : handle_(handle) {}
    ~RyHandle() { Reset(); }
    RyHandle(const RyHandle&) = delete;
    RyHandle& operator=(const RyHandle&) = delete;

    void Reset(DWORD handle = 0) {
        if (handle_) RyINetClose(handle_, nullptr);
        handle_ = handle;
    }
    DWORD Get() const { return handle_; }
    // The same handle as WININET takes it: RYINET's handles are WININET's.
    HINTERNET Internet() const { return reinterpret_cast<HINTERNET>(static_cast<ULONG_PTR>(handle_)); }
    explicit operator bool() const { return handle_ != 0; }

private:
    DWORD handle_;
};

// A local file, closed on every path.
class LocalFile {
public:
    explicit LocalFile(HANDLE file) : file_(file) {}
    ~LocalFile() { if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_); }
    LocalFile(const LocalFile&) = delete;
    LocalFile& operator=(const LocalFile&) = delete;
    HANDLE Get() const { return file_; }
    bool Valid() const { return file_ != INVALID_HANDLE_VALUE; }
    void Close() {
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE file_;
};
