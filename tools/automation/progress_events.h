// The events of RyInet.Session (_IRyInetSessionEvents), Progress and Retrying, as the
// VB-era transfer controls told their hosts how a transfer went: the connection point that
// holds the clients' sinks, and the raising of the events on each of them.
#pragma once
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>
#include <utility>
#include <vector>

class ProgressEvents : public IConnectionPoint {
public:
    // The container owns the connection point, which lives as long as it does: its
    // references are the container's.
    explicit ProgressEvents(IConnectionPointContainer* container) : container_(container), nextCookie_(1) {}
    ~ProgressEvents();
    ProgressEvents(const ProgressEvents&) = delete;
    ProgressEvents& operator=(const ProgressEvents&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return container_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return container_->Release(); }
    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

    bool Connected() const { return !sinks_.empty(); }
    // Raises Progress(done, total, cancel) on every sink, one after the other; true when
    // one of them set cancel. A sink that fails (its client went away) is passed over.
    bool Raise(double done, double total);
    // Raises Retrying(attempt, reason) on every sink.
    void RaiseRetrying(LONG attempt, const wchar_t* reason);

private:
    // The sinks of the moment, each with a reference: a handler may unadvise, or another
    // client advise, while an event is raised.
    std::vector<IDispatch*> Now() const;
    // Calls the event id on every sink of the moment, args last to first as Invoke takes them.
    void Call(DISPID id, VARIANT* args, UINT count);

    IConnectionPointContainer* container_;
    std::vector<std::pair<DWORD, IDispatch*>> sinks_;
    DWORD nextCookie_;
};
