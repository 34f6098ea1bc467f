#include "class_factory.h"
#include "server_lifetime.h"
#include "session.h"

STDMETHODIMP SessionFactory::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *out = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP SessionFactory::CreateInstance(IUnknown* outer, REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return Session::Create(riid, out);
}

STDMETHODIMP SessionFactory::LockServer(BOOL lock) {
    if (lock)
        ServerProcessAddRef();
    else
        ServerProcessRelease();
    return S_OK;
}
