#include "growing_buffer.h"

namespace {
const size_t kPage = 4096;
const size_t kGuard = 64 * 1024;  // never committed
GrowingBuffer* g_active;           // the vectored handler has no context of its own

size_t RoundUp(size_t n, size_t unit) { return (n + unit - 1) / unit * unit; }
}  // namespace

GrowingBuffer::GrowingBuffer(size_t bytes, OverflowHandler onOverflow)
    : size_(bytes), usable_(RoundUp(bytes, kPage)), span_(RoundUp(bytes, kPage) + kGuard),
      onOverflow_(onOverflow) {
    if (g_active || bytes == 0 || bytes > (MAXDWORD >> 1)) return;
    base_ = static_cast<char*>(VirtualAlloc(nullptr, span_, MEM_RESERVE, PAGE_NOACCESS));
    if (!base_) return;
    g_active = this;
    handler_ = AddVectoredExceptionHandler(1, &GrowingBuffer::OnFault);
}

GrowingBuffer::~GrowingBuffer() {
    if (!base_) return;
    RemoveVectoredExceptionHandler(handler_);
    VirtualFree(base_, 0, MEM_RELEASE);
    g_active = nullptr;
}

size_t GrowingBuffer::committed() const { return static_cast<size_t>(pages_) * kPage; }

size_t GrowingBuffer::textLength() const {
    // Only committed pages can hold the text, and the library writes from the start.
    const size_t end = committed() < usable_ ? committed() : usable_;
    for (size_t i = 0; i < end && i < size_; ++i)
        if (base_[i] == '\0') return i;
    return size_;
}

void GrowingBuffer::release() {
    if (base_ && pages_) VirtualFree(base_, usable_, MEM_DECOMMIT);
    pages_ = 0;
}

LONG CALLBACK GrowingBuffer::OnFault(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* e = info->ExceptionRecord;
    GrowingBuffer* b = g_active;
    if (!b || e->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || e->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    char* at = reinterpret_cast<char*>(e->ExceptionInformation[1]);
    if (at < b->base_ || at >= b->base_ + b->span_) return EXCEPTION_CONTINUE_SEARCH;
    if (at >= b->base_ + b->usable_) b->onOverflow_(b->size_);  // does not return
    char* page = b->base_ + (at - b->base_) / kPage * kPage;
    if (!VirtualAlloc(page, kPage, MEM_COMMIT, PAGE_READWRITE)) return EXCEPTION_CONTINUE_SEARCH;
    InterlockedIncrement(&b->pages_);
    return EXCEPTION_CONTINUE_EXECUTION;
}
