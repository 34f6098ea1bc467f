// The class object of RyInet.Session that the server registers with COM.
#pragma once
#include <windows.h>
#include <objbase.h>

class SessionFactory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    // The class object is static: it lives as long as the process.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override;
    STDMETHODIMP LockServer(BOOL lock) override;
};
