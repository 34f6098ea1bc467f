// GetFile and PutFile: files both ways through the host kit, so that a client's file is
// replaced only when the whole file came and the server confirmed it, no .part is left
// behind, and the copy Wine's WININET keeps in the URL cache is deleted.
#include "automation_error.h"
#include "box_capture.h"
#include "session.h"

namespace {
// Each event is a round trip to the client (milliseconds across processes): a few a
// second show a transfer moving without slowing it.
const DWORD kEventEveryMs = 250;

std::wstring Number(ULONGLONG n) { return std::to_wstring(n); }

HRESULT LocalFileError(DWORD error, const std::wstring& what, const std::wstring& path) {
    return RaiseError(HRESULT_FROM_WIN32(error), what + L" " + path + L" (error " + Number(error) + L")");
}
}  // namespace

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

HRESULT Session::ReceiveFailed(RyKitOutcome outcome, const RyKitReceive& r, BSTR remote, BSTR local,
                               const BoxCapture& boxes) const {
    std::wstring name(remote ? remote : L""), path(local ? local : L"");
    BoxCapture none(false);
    switch (outcome) {
    case RYKIT_NOT_OPENED: return Refused(boxes, L"Unable to open file.");
    case RYKIT_NO_PART: return LocalFileError(r.error, L"The local file could not be made:", r.part);
    case RYKIT_NOT_WRITTEN: return LocalFileError(r.error, L"The local file could not be written:", r.part);
    case RYKIT_NOT_RENAMED: return LocalFileError(r.error, L"The local file could not be replaced:", path);
    case RYKIT_CANCELLED: return RaiseError(RYINET_E_CANCELLED, L"The transfer of " + name + L" was cancelled.");
    case RYKIT_INCOMPLETE:
        return RaiseError(RYINET_E_REFUSED, L"The transfer of " + name + L" ended after " + Number(r.received) +
                                                L" of " + Number(r.expected) + L" bytes.");
    case RYKIT_TOO_LONG:
        return RaiseError(RYINET_E_REFUSED, L"More of " + name + L" came than the " + Number(r.expected) +
                                                L" bytes the server announced.");
    case RYKIT_BROKE_OFF: return Refused(none, L"The transfer of " + name + L" broke off.");
    default:  // RYKIT_NOT_CONFIRMED: a 426, or no final reply after the 150 that began it
        return Refused(none, L"The server did not confirm the transfer of " + name + L".");
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
        RyKitOutcome outcome = RyKitReceiveFile(Connection(), Owner(), name.c_str(), localPath ? localPath : L"",
                                                &Session::OnProgress, this, &r);
        if (outcome != RYKIT_RECEIVED) return ReceiveFailed(outcome, r, remoteName, localPath, boxes);
        *bytes = static_cast<double>(r.received);
        return S_OK;
    });
}

HRESULT Session::SendFailed(RyKitOutcome outcome, const RyKitSend& s, BSTR local) const {
    std::wstring path(local ? local : L"");
    BoxCapture none(false);
    switch (outcome) {
    case RYKIT_NO_LOCAL: return LocalFileError(s.error, L"The local file could not be opened:", path);
    case RYKIT_NOT_READ: return LocalFileError(s.error, L"The local file could not be read:", path);
    case RYKIT_CANCELLED: return RaiseError(RYINET_E_CANCELLED, L"The transfer of " + path + L" was cancelled.");
    case RYKIT_NOT_OPENED: return Refused(none, L"Unable to store file.");
    case RYKIT_BROKE_OFF: return Refused(none, L"The transfer of " + path + L" broke off.");
    default: return Refused(none, L"The server did not confirm the transfer of " + path + L".");
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
        RyKitOutcome outcome = RyKitSendFile(Connection(), localPath ? localPath : L"", name.c_str(),
                                             FTP_TRANSFER_TYPE_BINARY, &Session::OnProgress, this, &s);
        if (outcome != RYKIT_SENT) return SendFailed(outcome, s, localPath);
        *bytes = static_cast<double>(s.sent);
        return S_OK;
    });
}
