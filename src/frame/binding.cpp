#include "binding.h"

namespace {
const char kLibraryName[] = "\\WININET.DLL";
}

// Loaded from the system directory by full path, never by bare name: a WININET.DLL
// planted in the current directory or on PATH must not be picked up.
HMODULE LoadInternetLibrary() {
    char path[MAX_PATH + sizeof kLibraryName];
    UINT n = GetSystemDirectoryA(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    lstrcpynA(path + n, kLibraryName, sizeof kLibraryName);
    return LoadLibraryA(path);
}
