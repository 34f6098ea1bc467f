#include "session.h"
#include <vector>
#include "automation_error.h"
#include "box_capture.h"
#include "result_buffer.h"
#include "ryinet_listing.h"
#include "server_lifetime.h"
#include "type_library.h"
#include "variants.h"

HRESULT Session::Create(REFIID riid, void** out) {
    ITypeInfo* typeInfo = nullptr;
    HRESULT hr = TypeInfoOf(IID_IRyInetSession, &typeInfo);
    if (FAILED(hr)) return hr;
    Session* session = new (std::nothrow) Session(typeInfo);
    typeInfo->Release();
    if (!session) return E_OUTOFMEMORY;
    hr = session->QueryInterface(riid, out);
    session->Release();
    return hr;
}

Session::Session(ITypeInfo* typeInfo)
    : refs_(1), typeInfo_(typeInfo), owner_(nullptr), showBoxes_(true), busy_(false), names_(), session_(0),
      connection_(0), dialed_(nullptr), events_(this), lastEvent_(0), eventRaised_(false),
      parallel_(RYKIT_PARALLEL) {
    typeInfo_->AddRef();
    // Its thread waits for calls to end and closes their handles; without it a call has
    // no time limit, as before hosts had one.
    RyKitWatchdogStart(&watchdog_, &connection_, &session_);
    // The boxes of a failed attempt are the call's (BoxCapture): the link needs no watch.
    RyKitLinkInit(&link_, &session_, &connection_, nullptr, &watchdog_, nullptr);
    link_.names = &names_;
    link_.retrying = &Session::OnRetrying;
    link_.context = this;
    ServerProcessAddRef();
}

Session::~Session() {
    RyKitWatchdogStop(&watchdog_);
    Close();
    SecureZeroMemory(&link_, sizeof link_);  // the dial's password too
    typeInfo_->Release();
    ServerProcessRelease();
}

STDMETHODIMP Session::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IRyInetSession))
        *out = static_cast<IRyInetSession*>(this);
    else if (IsEqualIID(riid, IID_ISupportErrorInfo))
        *out = static_cast<ISupportErrorInfo*>(this);
    else if (IsEqualIID(riid, IID_IConnectionPointContainer))
        *out = static_cast<IConnectionPointContainer*>(this);
    else if (IsEqualIID(riid, IID_IProvideClassInfo))
        *out = static_cast<IProvideClassInfo*>(this);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) Session::AddRef() { return InterlockedIncrement(&refs_); }

STDMETHODIMP_(ULONG) Session::Release() {
    LONG refs = InterlockedDecrement(&refs_);
    if (refs == 0) delete this;
    return refs;
}

STDMETHODIMP Session::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP Session::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    typeInfo_->AddRef();
    *info = typeInfo_;
    return S_OK;
}

STDMETHODIMP Session::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    return DispGetIDsOfNames(typeInfo_, names, count, ids);
}

STDMETHODIMP Session::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                             EXCEPINFO* exception, UINT* argError) {
    // The type information calls the vtable and turns a failure's IErrorInfo into
    // EXCEPINFO, which is how late-bound callers and script hosts read it.
    return typeInfo_->Invoke(static_cast<IRyInetSession*>(this), id, flags, params, result, exception, argError);
}

STDMETHODIMP Session::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID_IRyInetSession) ? S_OK : S_FALSE;
}

STDMETHODIMP Session::EnumConnectionPoints(IEnumConnectionPoints** points) {
    if (!points) return E_POINTER;
    *points = nullptr;
    return E_NOTIMPL;  // clients find the one point by its interface
}

STDMETHODIMP Session::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (!IsEqualIID(riid, DIID__IRyInetSessionEvents)) return CONNECT_E_NOCONNECTION;
    events_.AddRef();
    *point = &events_;
    return S_OK;
}

STDMETHODIMP Session::GetClassInfo(ITypeInfo** info) {
    if (!info) return E_POINTER;
    return TypeInfoOf(CLSID_Session, info);
}

HRESULT Session::Busy() const {
    return RaiseError(RYINET_E_BUSY, L"A call of this session is still running (a Progress handler may set cancel, "
                                     L"not call the session).");
}

HRESULT Session::Run(bool connection, const std::function<HRESULT()>& work) {
    if (busy_) return Busy();
    if (connection && !connection_) return RaiseError(RYINET_E_NOT_OPEN, L"Not connected: call Connect first.");
    AddRef();  // a client that lets go of the object from a handler does not end the call under it
    busy_ = true;
    RyKitWatchdogBegin(&watchdog_);
    HRESULT hr = work();
    RyKitEnding how = RyKitWatchdogFinish(&watchdog_);
    if (how != RYKIT_RUNNING) hr = Ended(how);
    busy_ = false;
    Release();
    return hr;
}

HRESULT Session::Ended(RyKitEnding how) {
    // The watchdog has closed the connection and the session: the next call is told so.
    names_ = RyKitNames();
    if (how == RYKIT_OVER_TIME)
        return RaiseError(RYINET_E_TIME_LIMIT, L"The call ran for " + std::to_wstring(watchdog_.maxTimeSeconds) +
                                                   L" s, its limit (MaxSeconds): it was ended and the connection "
                                                   L"closed.");
    return RaiseError(RYINET_E_TIME_LIMIT, L"The server made no progress for " +
                                               std::to_wstring(watchdog_.timeoutSeconds) +
                                               L" s (StallSeconds): the call was ended and the connection closed.");
}

namespace {
// Text as names travel: terminated, and refused when it holds a NUL, which would cut it.
HRESULT Encode(const RyKitNames& names, BSTR text, std::string& bytes) {
    UINT units = SysStringLen(text);
    bytes.assign(units * 3 + 1, '\0');
    if (units == 0) {
        bytes.clear();
        return S_OK;
    }
    size_t n = static_cast<size_t>(lstrlenW(text)) == units ? RyKitNameToServer(&names, text, &bytes[0], bytes.size())
                                                             : 0;
    bytes.resize(n);
    if (n) return S_OK;
    std::wstring shown(text, units);
    return RaiseError(RYINET_E_NAME, L"The name \"" + shown + L"\" cannot be sent to the server in " +
                                         (RyKitNamesAreUtf8(&names) ? L"UTF-8." : L"its ANSI code page."));
}

std::wstring Decode(const RyKitNames& names, const char* bytes, size_t length) {
    std::wstring text(length + 1, L'\0');
    text.resize(RyKitNameToText(&names, bytes, length, &text[0], text.size()));
    return text;
}

const RyKitNames kAnsi = {RYKIT_NAMES_ANSI};
}  // namespace

HRESULT Session::ServerText(BSTR text, std::string& bytes) const { return Encode(names_, text, bytes); }

HRESULT Session::AnsiText(BSTR text, std::string& bytes) { return Encode(kAnsi, text, bytes); }

std::wstring Session::FromServer(const char* bytes, size_t length) const { return Decode(names_, bytes, length); }

std::wstring Session::FromAnsi(const char* bytes, size_t length) { return Decode(kAnsi, bytes, length); }

std::string Session::LastReplyBytes() const {
    char reply[4096];  // a multi-line reply (Windows keeps them whole) may pass the kit's usual size
    RyKitLastResponseInfo(reply, sizeof reply);
    return reply;
}

HRESULT Session::Raise(const Failure& f) { return RaiseError(f.hr, f.text); }

std::wstring Session::BoxText(const BoxCapture& boxes, const std::wstring& otherwise) const {
    return boxes.Seen() ? FromAnsi(boxes.Text().data(), boxes.Text().size()) : otherwise;
}

Session::Failure Session::RefusedWith(const std::wstring& what, const std::string& reply) const {
    return {RYINET_E_REFUSED, reply.empty() ? what : what + L"\r\n" + FromServer(reply)};
}

HRESULT Session::Refused(const BoxCapture& boxes, const std::wstring& what) const {
    return Raise(RefusedWith(BoxText(boxes, what), LastReplyBytes()));
}

STDMETHODIMP Session::get_OwnerWindow(LONGLONG* hwnd) {
    if (!hwnd) return E_POINTER;
    *hwnd = static_cast<LONGLONG>(reinterpret_cast<ULONG_PTR>(owner_));
    return S_OK;
}

STDMETHODIMP Session::put_OwnerWindow(LONGLONG hwnd) {
    // Window handles are 32-bit values in 64-bit processes too: the low 32 bits are the
    // handle, whichever bitness passed it.
    owner_ = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(static_cast<DWORD>(hwnd)));
    return S_OK;
}

STDMETHODIMP Session::get_ShowBoxes(VARIANT_BOOL* show) {
    if (!show) return E_POINTER;
    *show = showBoxes_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP Session::put_ShowBoxes(VARIANT_BOOL show) {
    showBoxes_ = show != VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP Session::get_StallSeconds(LONG* seconds) {
    if (!seconds) return E_POINTER;
    *seconds = static_cast<LONG>(watchdog_.timeoutSeconds);
    return S_OK;
}

STDMETHODIMP Session::put_StallSeconds(LONG seconds) {
    if (seconds < 0) return E_INVALIDARG;
    watchdog_.timeoutSeconds = static_cast<DWORD>(seconds);
    return S_OK;
}

STDMETHODIMP Session::get_MaxSeconds(LONG* seconds) {
    if (!seconds) return E_POINTER;
    *seconds = static_cast<LONG>(watchdog_.maxTimeSeconds);
    return S_OK;
}

STDMETHODIMP Session::put_MaxSeconds(LONG seconds) {
    if (seconds < 0) return E_INVALIDARG;
    watchdog_.maxTimeSeconds = static_cast<DWORD>(seconds);
    return S_OK;
}

STDMETHODIMP Session::get_Retries(LONG* retries) {
    if (!retries) return E_POINTER;
    *retries = static_cast<LONG>(link_.retries);
    return S_OK;
}

STDMETHODIMP Session::put_Retries(LONG retries) {
    // More than 100 would be hours of pauses (30 s each past the fifth): a mistake.
    if (retries < 0 || retries > 100) return E_INVALIDARG;
    link_.retries = static_cast<unsigned>(retries);
    return S_OK;
}

STDMETHODIMP Session::get_Parallel(LONG* connections) {
    if (!connections) return E_POINTER;
    *connections = static_cast<LONG>(parallel_);
    return S_OK;
}

STDMETHODIMP Session::put_Parallel(LONG connections) {
    if (connections < 1 || connections > RYKIT_MOST_PARALLEL)
        return RaiseError(E_INVALIDARG, L"Parallel takes 1 to " + std::to_wstring(RYKIT_MOST_PARALLEL) +
                                            L" connections, not " + std::to_wstring(connections) + L".");
    parallel_ = static_cast<unsigned>(connections);
    return S_OK;
}

HRESULT Session::OpenSession() {
    if (session_) return S_OK;
    BoxCapture boxes(showBoxes_);
    InterlockedExchange(&session_, static_cast<LONG>(RyINetOpen(Owner())));
    return session_ ? S_OK : Refused(boxes, L"The internet session could not be opened.");
}

void Session::CloseConnection() {
    RyKitCloseTaken(&connection_, nullptr);
    RyKitLinkForget(&link_);
    names_ = RyKitNames();
}

STDMETHODIMP Session::Open() {
    return Run(false, [&] { return OpenSession(); });
}

STDMETHODIMP Session::Close() {
    if (busy_) return Busy();
    CloseConnection();
    RyKitCloseTaken(&session_, nullptr);
    return S_OK;
}

STDMETHODIMP Session::Disconnect() {
    if (busy_) return Busy();
    CloseConnection();
    return S_OK;
}

STDMETHODIMP Session::Connect(BSTR server, BSTR userName, BSTR password, VARIANT_BOOL passive) {
    // Host, user and password go before the server could say how it writes names: the
    // library takes them in the ANSI code page.
    std::string host, user, secret;
    HRESULT hr;
    if (FAILED(hr = AnsiText(server, host)) || FAILED(hr = AnsiText(userName, user)) ||
        FAILED(hr = AnsiText(password, secret)))
        return hr;
    hr = Run(false, [&]() -> HRESULT {
        CloseConnection();  // a new Connect replaces the connection
        HRESULT opened = OpenSession();
        if (FAILED(opened)) return opened;
        RyKitWatchdogConnecting(&watchdog_);
        char refusal[RYKIT_REPLY_BYTES] = "";
        BoxCapture boxes(showBoxes_);
        DWORD connection = RyKitConnect(static_cast<DWORD>(session_), Owner(), host.c_str(), user.c_str(),
                                        secret.c_str(), passive != VARIANT_FALSE, refusal, sizeof refusal);
        if (!connection) {
            std::wstring text = boxes.Seen() ? FromAnsi(boxes.Text().data(), boxes.Text().size())
                                             : L"Could not connect to " + FromAnsi(host.data(), host.size()) + L".";
            if (refusal[0]) text += L"\r\n" + FromServer(refusal, lstrlenA(refusal));
            if (RyKitWantsEncryption(refusal))
                text += L"\r\nThe server asks for encryption (FTPS), which the system's internet library does not "
                        L"speak: no password will log in.";
            return RaiseError(RYINET_E_REFUSED, text);
        }
        InterlockedExchange(&connection_, static_cast<LONG>(connection));
        RyKitWatchdogConnected(&watchdog_);  // one client's stalled call leaves the others' connections be
        RyKitNamesLearn(&names_, connection);
        RyKitLinkLoggedIn(&link_, host.c_str(), user.c_str(), secret.c_str(), passive != VARIANT_FALSE);
        return S_OK;
    });
    SecureZeroMemory(&secret[0], secret.size());
    return hr;
}

STDMETHODIMP Session::get_Utf8(VARIANT_BOOL* utf8) {
    if (!utf8) return E_POINTER;
    *utf8 = connection_ && RyKitNamesAreUtf8(&names_) ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP Session::get_LastReply(BSTR* reply) {
    if (!reply) return E_POINTER;
    return ReturnText(FromServer(LastReplyBytes()), reply);
}

HRESULT Session::Listing(BSTR pattern, std::string& text) {
    std::string bytes;
    HRESULT hr = ServerText(pattern, bytes);
    if (FAILED(hr)) return hr;
    RyKitBuffer* results = ServerResults();
    if (!results) return E_OUTOFMEMORY;
    BoxCapture boxes(showBoxes_);
    LONG listed = RyKitBufferList(results, Connection(), Owner(), bytes.empty() ? nullptr : bytes.c_str());
    if (listed == 0) text = results->data;
    RyKitBufferDecommit(results);
    if (boxes.Seen()) return Refused(boxes, L"");
    char reply[RYKIT_REPLY_BYTES];
    if (listed != 0 && !RyKitNothingListed(reply, sizeof reply) &&
        RyKitWatchdogEnding(&watchdog_) == RYKIT_RUNNING) {
        BoxCapture none(false);
        return Refused(none, reply[0] ? L"The listing failed." : L"The listing failed: no reply from the server.");
    }
    // Every name, before any is read as text: one that is not UTF-8 decides for them all.
    const char* cursor = text.c_str();
    RyListingEntry entry;
    while (RyListingNext(&cursor, &entry) == 1) RyKitNamesSaw(&names_, entry.name, entry.nameLength);
    return S_OK;
}

STDMETHODIMP Session::List(BSTR pattern, VARIANT* records) {
    if (!records) return E_POINTER;
    VariantInit(records);
    return Run(true, [&]() -> HRESULT {
        std::string text;
        HRESULT hr = Listing(pattern, text);
        if (FAILED(hr)) return hr;
        std::vector<VARIANT> items;
        const char* cursor = text.c_str();
        RyListingEntry entry;
        while (RyListingNext(&cursor, &entry) == 1)
            items.push_back(RecordVariant(entry, FromServer(entry.name, entry.nameLength)));
        return ReturnArray(items, records);
    });
}

STDMETHODIMP Session::ListText(BSTR pattern, BSTR* text) {
    if (!text) return E_POINTER;
    *text = nullptr;
    return Run(true, [&]() -> HRESULT {
        std::string bytes;
        HRESULT hr = Listing(pattern, bytes);
        return FAILED(hr) ? hr : ReturnText(FromServer(bytes), text);
    });
}

STDMETHODIMP Session::get_CurrentDirectory(BSTR* directory) {
    if (!directory) return E_POINTER;
    *directory = nullptr;
    return Run(true, [&]() -> HRESULT {
        char buffer[RYINET_CURDIR_BYTES] = "";
        BoxCapture boxes(showBoxes_);
        RyFtpCurDir(Connection(), Owner(), buffer);
        if (boxes.Seen()) return Refused(boxes, L"");
        RyKitNamesSaw(&names_, buffer, lstrlenA(buffer));  // a path is the server's names too
        return ReturnText(FromServer(buffer, lstrlenA(buffer)), directory);
    });
}

STDMETHODIMP Session::put_CurrentDirectory(BSTR directory) {
    return Run(true, [&]() -> HRESULT {
        std::string bytes;
        HRESULT hr = ServerText(directory, bytes);
        if (FAILED(hr)) return hr;
        RyFSetDir(Connection(), 0, bytes.c_str());
        // RYINET does not report a refusal; the server's reply does.
        int code = RyKitReplyCode(LastReplyBytes().c_str());
        BoxCapture none(false);
        if (code >= 400) return Refused(none, L"Unable to change directory.");
        RyKitLinkMoved(&link_);  // a connection opened again goes back there
        return S_OK;
    });
}

HRESULT Session::OnName(BSTR name, NameCall call) {
    return Run(true, [&]() -> HRESULT {
        std::string bytes;
        HRESULT hr = ServerText(name, bytes);
        if (FAILED(hr)) return hr;
        BoxCapture boxes(showBoxes_);
        call(Connection(), Owner(), bytes.c_str());
        return boxes.Seen() ? Refused(boxes, L"") : S_OK;
    });
}

STDMETHODIMP Session::Delete(BSTR fileName) { return OnName(fileName, RyFDelFile); }
STDMETHODIMP Session::MakeDirectory(BSTR directory) { return OnName(directory, RyFtpMd); }
STDMETHODIMP Session::RemoveDirectory(BSTR directory) { return OnName(directory, RyFtpRd); }

STDMETHODIMP Session::Rename(BSTR existingName, BSTR newName) {
    return Run(true, [&]() -> HRESULT {
        std::string from, to;
        HRESULT hr;
        if (FAILED(hr = ServerText(existingName, from)) || FAILED(hr = ServerText(newName, to))) return hr;
        BoxCapture boxes(showBoxes_);
        RyFRenFile(Connection(), Owner(), from.c_str(), to.c_str());
        return boxes.Seen() ? Refused(boxes, L"") : S_OK;
    });
}
