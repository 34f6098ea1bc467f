// A stand-in WININET.DLL such as an attacker would plant beside a host: it answers
// InternetOpenA with a value no real library returns.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

extern "C" void* WINAPI InternetOpenA(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD) {
    return reinterpret_cast<void*>(0x7777);
}
