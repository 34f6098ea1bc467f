#include "box_capture.h"

namespace {
using MessageBoxFn = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);
MessageBoxFn g_realMessageBox = nullptr;
// The calls of the object run on the server's one apartment thread.
BoxCapture* g_active = nullptr;

void** FindImportSlot(HMODULE module, const char* dll, const char* function) {
    auto base = reinterpret_cast<BYTE*>(module);
    auto dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress) return nullptr;
    for (auto imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + imp->Name), dll) != 0 || !imp->OriginalFirstThunk) continue;
        auto names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
        auto slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}
}  // namespace

int WINAPI CapturedMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    BoxCapture* capture = g_active;
    if (capture && capture->text_.empty()) capture->text_ = text ? text : "";
    if (capture && !capture->show_) return IDOK;
    return g_realMessageBox(owner, text, caption, style);
}

bool InstallBoxCapture(HMODULE ryinet) {
    void** slot = FindImportSlot(ryinet, "USER32.dll", "MessageBoxA");
    if (!slot) return false;
    if (*slot == reinterpret_cast<void*>(&CapturedMessageBox)) return true;
    g_realMessageBox = reinterpret_cast<MessageBoxFn>(*slot);
    DWORD old;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) return false;
    *slot = reinterpret_cast<void*>(&CapturedMessageBox);
    VirtualProtect(slot, sizeof *slot, old, &old);
    return true;
}

BoxCapture::BoxCapture(bool show) : show_(show), outer_(g_active) { g_active = this; }

BoxCapture::~BoxCapture() { g_active = outer_; }
