// GetFile and PutFile: files both ways through the host kit, so that a client's file is
// replaced only when the whole file came and the server confirmed it, a broken transfer is
// tried again from the byte it had (Retries), and the copy Wine's WININET keeps in the URL
// cache is deleted.
#include "automation_error.h"
#include "box_capture.h"
#include "session.h"

namespace {
std::wstring Number(ULONGLONG n) { return std::to_wstring(n); }
}  // namespace

Session::Failure Session::LocalFileFailure(DWORD error, const std::wstring& what, const std::wstring& path) {
    return {HRESULT_FROM_WIN32(error), what + L" " + path + L" (error " + Number(error) + L")"};
}

int Session::OnProgress(void* self, ULONGLONG done, LONGLONG total) {
    Session* s = static_cast<Session*>(self);
    RyKitWatchdogProgress(&s->watchdog_);
    if (RyKitWatchdogEnding(&s->watchdog_) != RYKIT_RUNNING) return 1;
    DWORD now = GetTickCount();
    bool last = total >= 0 && done == static_cast<ULONGLONG>(total);
    if (!s->events_.Connected() || (s->eventRaised_ && !last && now - s->lastEvent_ < kEventEveryMs)) return 0;
    s->eventRaised_ = true;
    s->lastEvent_ = now;
    // The client's handler may take its time (a macro that shows a form): no stall.
    RyKitWatchdogWaitForUser(&s->watchdog_, 1);
    bool cancel = s->events_.Raise(static_cast<double>(done), static_cast<double>(total));
    RyKitWatchdogWaitForUser(&s->watchdog_, 0);
    return cancel ? 1 : 0;
}

void Session::OnRetrying(void* self, unsigned attempt, unsigned, DWORD, const char* reason) {
    Session* s = static_cast<Session*>(self);
    if (!s->events_.Connected()) return;
    // The reason quotes the server's reply, in its encoding; the rest is ASCII.
    std::wstring text = s->FromServer(reason, lstrlenA(reason));
    RyKitWatchdogWaitForUser(&s->watchdog_, 1);
    s->events_.RaiseRetrying(static_cast<LONG>(attempt), text.c_str());
    RyKitWatchdogWaitForUser(&s->watchdog_, 0);
}

RyKitLink* Session::Link() {
    link_.owner = Owner();
    link_.type = FTP_TRANSFER_TYPE_BINARY;  // GetFile and PutFile copy bytes as they are
    return &link_;
}

Session::Failure Session::ReceiveFailure(RyKitOutcome outcome, const RyKitReceive& r, const std::wstring& name,
                                         const std::wstring& path, const std::wstring& notOpened,
                                         const std::string& reply) const {
    // What came waits beside the target for the next GetFile of the same file to go on from.
    std::wstring kept = r.partialKept ? L" The " + Number(r.received) + L" bytes that came are kept in " +
                                            std::wstring(r.part) + L" for the next GetFile of it to go on from."
                                      : L"";
    // A partial whose name would pass MAX_PATH is never made: the target names it then.
    std::wstring part = r.part[0] ? std::wstring(r.part) : path;
    switch (outcome) {
    case RYKIT_NOT_OPENED: return RefusedWith(notOpened, reply);
    case RYKIT_NO_PART: return LocalFileFailure(r.error, L"The local file could not be made:", part);
    case RYKIT_NOT_WRITTEN: return LocalFileFailure(r.error, L"The local file could not be written:", part);
    case RYKIT_NOT_RENAMED: return LocalFileFailure(r.error, L"The local file could not be replaced:", path);
    case RYKIT_CANCELLED: return {RYINET_E_CANCELLED, L"The transfer of " + name + L" was cancelled."};
    case RYKIT_INCOMPLETE:
        return {RYINET_E_REFUSED, L"The transfer of " + name + L" ended after " + Number(r.received) + L" of " +
                                      Number(r.expected) + L" bytes." + kept};
    case RYKIT_TOO_LONG:
        return {RYINET_E_REFUSED,
                L"More of " + name + L" came than the " + Number(r.expected) + L" bytes the server announced."};
    case RYKIT_BROKE_OFF: return RefusedWith(L"The transfer of " + name + L" broke off." + kept, reply);
    default:  // RYKIT_NOT_CONFIRMED: a 426, or no final reply after the 150 that began it
        return RefusedWith(L"The server did not confirm the transfer of " + name + L"." + kept, reply);
    }
}

STDMETHODIMP Session::GetFile(BSTR remoteName, BSTR localPath, double* bytes) {
    if (!bytes) return E_POINTER;
    *bytes = 0;
    return Run(true, [&]() -> HRESULT {
        std::string name;
        HRESULT hr = ServerText(remoteName, name);
        if (FAILED(hr)) return hr;
        RyKitReceive r;
        BoxCapture boxes(showBoxes_);
        eventRaised_ = false;
        RyKitOutcome outcome =
            RyKitLinkReceive(Link(), name.c_str(), localPath ? localPath : L"", &Session::OnProgress, this, &r);
        if (outcome != RYKIT_RECEIVED)
            return Raise(ReceiveFailure(outcome, r, remoteName ? remoteName : L"", localPath ? localPath : L"",
                                        BoxText(boxes, L"Unable to open file."), LastReplyBytes()));
        *bytes = static_cast<double>(r.received);
        return S_OK;
    });
}

Session::Failure Session::SendFailure(RyKitOutcome outcome, const RyKitSend& s, const std::wstring& path,
                                      const std::string& reply) const {
    switch (outcome) {
    case RYKIT_NO_LOCAL: return LocalFileFailure(s.error, L"The local file could not be opened:", path);
    case RYKIT_NOT_READ: return LocalFileFailure(s.error, L"The local file could not be read:", path);
    case RYKIT_CANCELLED: return {RYINET_E_CANCELLED, L"The transfer of " + path + L" was cancelled."};
    case RYKIT_NOT_OPENED: return RefusedWith(L"Unable to store file.", reply);
    case RYKIT_BROKE_OFF: return RefusedWith(L"The transfer of " + path + L" broke off.", reply);
    default: return RefusedWith(L"The server did not confirm the transfer of " + path + L".", reply);
    }
}

STDMETHODIMP Session::PutFile(BSTR localPath, BSTR remoteName, double* bytes) {
    if (!bytes) return E_POINTER;
    *bytes = 0;
    return Run(true, [&]() -> HRESULT {
        std::string name;
        HRESULT hr = ServerText(remoteName, name);
        if (FAILED(hr)) return hr;
        RyKitSend s;
        eventRaised_ = false;
        RyKitOutcome outcome =
            RyKitLinkSend(Link(), localPath ? localPath : L"", name.c_str(), &Session::OnProgress, this, &s);
        if (outcome != RYKIT_SENT) return Raise(SendFailure(outcome, s, localPath ? localPath : L"", LastReplyBytes()));
        *bytes = static_cast<double>(s.sent);
        return S_OK;
    });
}
