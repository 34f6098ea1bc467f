#include "progress_events.h"
#include "ryinet_automation.h"

namespace {
const DISPID kProgress = 1;
const DISPID kRetrying = 2;
}

ProgressEvents::~ProgressEvents() {
    for (auto& sink : sinks_) sink.second->Release();
}

STDMETHODIMP ProgressEvents::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
        *out = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP ProgressEvents::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = DIID__IRyInetSessionEvents;
    return S_OK;
}

STDMETHODIMP ProgressEvents::GetConnectionPointContainer(IConnectionPointContainer** container) {
    if (!container) return E_POINTER;
    container_->AddRef();
    *container = container_;
    return S_OK;
}

STDMETHODIMP ProgressEvents::Advise(IUnknown* sink, DWORD* cookie) {
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    // A sink is the event interface, which is a dispinterface: IDispatch is all it must be.
    IDispatch* events = nullptr;
    if (FAILED(sink->QueryInterface(DIID__IRyInetSessionEvents, reinterpret_cast<void**>(&events))) &&
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&events))))
        return CONNECT_E_CANNOTCONNECT;
    *cookie = nextCookie_++;
    sinks_.emplace_back(*cookie, events);
    return S_OK;
}

STDMETHODIMP ProgressEvents::Unadvise(DWORD cookie) {
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
        if (it->first != cookie) continue;
        IDispatch* events = it->second;
        sinks_.erase(it);
        events->Release();
        return S_OK;
    }
    return CONNECT_E_NOCONNECTION;
}

STDMETHODIMP ProgressEvents::EnumConnections(IEnumConnections** connections) {
    if (!connections) return E_POINTER;
    *connections = nullptr;
    return E_NOTIMPL;  // allowed for a connection point; no client of ours asks
}

std::vector<IDispatch*> ProgressEvents::Now() const {
    std::vector<IDispatch*> now;
    for (auto& sink : sinks_) {
        sink.second->AddRef();
        now.push_back(sink.second);
    }
    return now;
}

void ProgressEvents::Call(DISPID id, VARIANT* args, UINT count) {
    for (IDispatch* events : Now()) {
        DISPPARAMS params = {args, nullptr, count, 0};
        events->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
        events->Release();
    }
}

bool ProgressEvents::Raise(double done, double total) {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT args[3];  // last to first, as Invoke takes them
    V_VT(&args[0]) = VT_BOOL | VT_BYREF;
    V_BOOLREF(&args[0]) = &cancel;
    V_VT(&args[1]) = VT_R8;
    V_R8(&args[1]) = total;
    V_VT(&args[2]) = VT_R8;
    V_R8(&args[2]) = done;
    Call(kProgress, args, 3);
    return cancel != VARIANT_FALSE;
}

void ProgressEvents::RaiseRetrying(LONG attempt, const wchar_t* reason) {
    BSTR text = SysAllocString(reason);
    VARIANT args[2];  // last to first
    V_VT(&args[0]) = VT_BSTR;
    V_BSTR(&args[0]) = text;
    V_VT(&args[1]) = VT_I4;
    V_I4(&args[1]) = attempt;
    Call(kRetrying, args, 2);
    SysFreeString(text);
}
