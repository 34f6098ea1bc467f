#include "stack_args.h"

MeasuredCall CallMeasured(FARPROC fn, std::initializer_list<DWORD> args) {
    const DWORD* argv = args.begin();
    DWORD count = static_cast<DWORD>(args.size());
    DWORD result;
    DWORD left = count;  // becomes the bytes still on the stack after the call
    void* target = reinterpret_cast<void*>(fn);
    asm volatile(
        "movl %%esp, %%esi\n\t"
        "1:\n\t"
        "testl %%ecx, %%ecx\n\t"
        "jz 2f\n\t"
        "pushl -4(%%ebx,%%ecx,4)\n\t"  // right to left
        "decl %%ecx\n\t"
        "jmp 1b\n\t"
        "2:\n\t"
        "calll *%%edx\n\t"
        "movl %%esi, %%ecx\n\t"
        "subl %%esp, %%ecx\n\t"
        "movl %%esi, %%esp\n\t"
        : "=a"(result), "+c"(left), "+d"(target)
        : "b"(argv)
        : "esi", "memory", "cc");
    return {result, static_cast<int>(4 * count - left)};
}
