// The two routines the compiler may emit calls to; there is no C runtime to supply them.
// String instructions, so the optimiser cannot turn the bodies back into calls.
#include <stddef.h>

extern "C" void* memset(void* dst, int value, size_t n) {
    void* d = dst;
    asm volatile("rep stosb" : "+D"(d), "+c"(n) : "a"(value) : "memory");
    return dst;
}

extern "C" void* memcpy(void* dst, const void* src, size_t n) {
    void* d = dst;
    asm volatile("rep movsb" : "+D"(d), "+S"(src), "+c"(n) : : "memory");
    return dst;
}
