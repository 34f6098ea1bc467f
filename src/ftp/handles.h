// Internet handles cross the boundary as plain 32-bit values.
#pragma once
#include <windows.h>
#include <wininet.h>

static_assert(sizeof(HINTERNET) == sizeof(DWORD), "handles are 32-bit values");

inline HINTERNET AsHandle(DWORD value) { return reinterpret_cast<HINTERNET>(value); }
inline DWORD FromHandle(HINTERNET handle) { return reinterpret_cast<DWORD>(handle); }
