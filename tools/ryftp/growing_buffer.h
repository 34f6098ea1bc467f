// A result buffer for exports that write as much as they have and are never told the
// buffer's size (RyFtpDir, RyRasEnumE). Address space is reserved for the most the host
// accepts, and pages are committed as they are first touched, so memory follows what
// the library writes. A write past the reservation reaches guard pages that are never
// committed: the overflow handler runs there, before anything else is overwritten.
#pragma once
#include <windows.h>
#include <stddef.h>

class GrowingBuffer {
public:
    // Called on the faulting thread when a write passes the buffer; must not return.
    using OverflowHandler = void (*)(size_t bytes);

    // Room for bytes. One buffer at a time per process. Check reserved() afterwards.
    GrowingBuffer(size_t bytes, OverflowHandler onOverflow);
    ~GrowingBuffer();
    GrowingBuffer(const GrowingBuffer&) = delete;
    GrowingBuffer& operator=(const GrowingBuffer&) = delete;

    bool reserved() const { return base_ != nullptr; }
    char* data() const { return base_; }
    size_t size() const { return size_; }
    size_t committed() const;  // bytes committed so far
    // Length of the text in the buffer, or size() when it is not terminated inside it.
    size_t textLength() const;
    void release();            // gives the committed pages back; the reservation stays

private:
    static LONG CALLBACK OnFault(EXCEPTION_POINTERS* info);

    char* base_ = nullptr;
    size_t size_;
    size_t usable_;  // size_ rounded up to whole pages; the guard pages follow
    size_t span_;    // usable_ and the guard pages
    OverflowHandler onOverflow_;
    void* handler_ = nullptr;
    volatile LONG pages_ = 0;
};
