// Module entry: the PE entry point itself, with no C runtime start-up in between.
#include <windows.h>
#include <stddef.h>
#include "boxes.h"
#include "checksum.h"
#include "unique.h"

namespace {

// A handle closed on every path.
struct OpenFile {
    using Type = HANDLE;
    static Type None() { return INVALID_HANDLE_VALUE; }
    static void Release(Type h) { CloseHandle(h); }
};
using FileHandle = Unique<OpenFile>;

// The module file must still carry the checksum stamped at build time. The mapped
// headers tell where the field is and what it holds; the file on disk is summed.
bool ModuleIntact(HINSTANCE self) {
    auto base = reinterpret_cast<const BYTE*>(self);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    DWORD stamped = nt->OptionalHeader.CheckSum;
    if (stamped == 0) return false;

    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return false;

    DWORD offset = dos->e_lfanew + offsetof(IMAGE_NT_HEADERS32, OptionalHeader.CheckSum);
    DWORD actual = 0;
    return PeFileChecksum(file.get(), offset, &actual) && actual == stamped;
}

}  // namespace

extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    if (ModuleIntact(self)) return TRUE;
    InfoBox(nullptr, Box::ModuleDamaged);
    return FALSE;
}
