#include "result_buffer.h"

namespace {
// Committed a step at a time: each fault is an exception round trip, and a long listing
// would otherwise take one for every 14 records.
const SIZE_T kCommitStep = 64 * 1024;
// Buffers nest as the calls that hold them (a box's modal loop may run another call).
ResultBuffer* g_innermost = nullptr;
}

ResultBuffer::ResultBuffer() : base_(nullptr), handler_(nullptr), outer_(g_innermost) {
    base_ = static_cast<char*>(VirtualAlloc(nullptr, kReserved, MEM_RESERVE, PAGE_NOACCESS));
    if (!base_) return;
    // The first page is committed now: the text starts empty ("" when nothing is written).
    if (!VirtualAlloc(base_, 1, MEM_COMMIT, PAGE_READWRITE)) {
        VirtualFree(base_, 0, MEM_RELEASE);
        base_ = nullptr;
        return;
    }
    base_[0] = '\0';
    handler_ = AddVectoredExceptionHandler(1, &CommitOnWrite);
    g_innermost = this;
}

ResultBuffer::~ResultBuffer() {
    if (handler_) RemoveVectoredExceptionHandler(handler_);
    if (base_) VirtualFree(base_, 0, MEM_RELEASE);
    if (g_innermost == this) g_innermost = outer_;
}

LONG CALLBACK ResultBuffer::CommitOnWrite(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    auto address = reinterpret_cast<char*>(record->ExceptionInformation[1]);
    for (ResultBuffer* b = g_innermost; b; b = b->outer_) {
        if (!b->base_ || address < b->base_ || address >= b->base_ + kReserved) continue;
        char* step = b->base_ + (static_cast<SIZE_T>(address - b->base_) & ~(kCommitStep - 1));
        SIZE_T size = kCommitStep;
        if (step + size > b->base_ + kReserved) size = b->base_ + kReserved - step;
        return VirtualAlloc(step, size, MEM_COMMIT, PAGE_READWRITE) ? EXCEPTION_CONTINUE_EXECUTION
                                                                     : EXCEPTION_CONTINUE_SEARCH;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}
