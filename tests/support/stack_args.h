// Calls a stdcall function with 32-bit arguments and tells how many argument bytes the
// callee removed from the stack (ESP measured before the pushes and after the call).
#pragma once
#include <windows.h>
#include <initializer_list>

struct MeasuredCall {
    DWORD result;
    int removedBytes;
};

MeasuredCall CallMeasured(FARPROC fn, std::initializer_list<DWORD> args);
