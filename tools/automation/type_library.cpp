#include "type_library.h"
#include "ryinet_automation.h"

std::wstring ThisProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0) return std::wstring();
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

HRESULT TypeInfoOf(REFGUID guid, ITypeInfo** out) {
    static ITypeLib* library = nullptr;  // kept for the process's life
    *out = nullptr;
    if (!library) {
        HRESULT hr = LoadTypeLibEx(ThisProgramPath().c_str(), REGKIND_NONE, &library);
        if (FAILED(hr)) return hr;
    }
    return library->GetTypeInfoOfGuid(guid, out);
}
