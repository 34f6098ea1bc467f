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

HRESULT SessionTypeInfo(ITypeInfo** out) {
    static ITypeInfo* info = nullptr;  // kept for the process's life
    if (!info) {
        ITypeLib* library = nullptr;
        HRESULT hr = LoadTypeLibEx(ThisProgramPath().c_str(), REGKIND_NONE, &library);
        if (FAILED(hr)) return hr;
        hr = library->GetTypeInfoOfGuid(IID_IRyInetSession, &info);
        library->Release();
        if (FAILED(hr)) return hr;
    }
    info->AddRef();
    *out = info;
    return S_OK;
}
