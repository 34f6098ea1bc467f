#include "session.h"
#include <ras.h>
#include <vector>
#include "automation_error.h"
#include "box_capture.h"
#include "feature_probe.h"
#include "result_buffer.h"
#include "ryinet_listing.h"
#include "server_lifetime.h"
#include "text_encoding.h"
#include "type_library.h"

namespace {
const DWORD kTransferChunk = 64 * 1024;

// A BSTR result, or E_OUTOFMEMORY.
HRESULT ReturnText(const std::wstring& text, BSTR* out) {
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

// A one-dimensional array of VARIANTs as a VARIANT, the array script hosts take.
HRESULT ReturnArray(std::vector<VARIANT>& items, VARIANT* out) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(items.size()));
    HRESULT hr = array ? S_OK : E_OUTOFMEMORY;
    for (LONG i = 0; SUCCEEDED(hr) && i < static_cast<LONG>(items.size()); ++i)
        hr = SafeArrayPutElement(array, &i, &items[i]);
    for (VARIANT& v : items) VariantClear(&v);
    if (FAILED(hr)) {
        if (array) SafeArrayDestroy(array);
        return hr;
    }
    V_VT(out) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(out) = array;
    return S_OK;
}

VARIANT TextVariant(const std::wstring& text) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return v;
}

// One listing record: Name, IsDirectory, Modified (Null outside the calendar), Size.
VARIANT RecordVariant(const RyListingEntry& e, UINT codePage) {
    std::vector<VARIANT> fields(4);
    fields[0] = TextVariant(FromServerBytes(e.name, e.nameLength, codePage));
    VariantInit(&fields[1]);
    V_VT(&fields[1]) = VT_BOOL;
    V_BOOL(&fields[1]) = e.isDirectory ? VARIANT_TRUE : VARIANT_FALSE;
    VariantInit(&fields[2]);
    SYSTEMTIME t = {};
    t.wYear = static_cast<WORD>(e.year);
    t.wMonth = static_cast<WORD>(e.month);
    t.wDay = static_cast<WORD>(e.day);
    t.wHour = static_cast<WORD>(e.hour);
    t.wMinute = static_cast<WORD>(e.minute);
    double date;
    if (e.year != 0 && SystemTimeToVariantTime(&t, &date)) {
        V_VT(&fields[2]) = VT_DATE;
        V_DATE(&fields[2]) = date;
    } else {
        V_VT(&fields[2]) = VT_NULL;
    }
    VariantInit(&fields[3]);
    V_VT(&fields[3]) = VT_R8;  // a Double holds every 32-bit size, and every script host reads it
    V_R8(&fields[3]) = static_cast<double>(e.size);
    VARIANT record;
    VariantInit(&record);
    if (FAILED(ReturnArray(fields, &record))) V_VT(&record) = VT_EMPTY;
    return record;
}

std::string TrimLineEnd(std::string s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}
}  // namespace

HRESULT Session::Create(REFIID riid, void** out) {
    ITypeInfo* typeInfo = nullptr;
    HRESULT hr = SessionTypeInfo(&typeInfo);
    if (FAILED(hr)) return hr;
    Session* session = new (std::nothrow) Session(typeInfo);
    typeInfo->Release();
    if (!session) return E_OUTOFMEMORY;
    hr = session->QueryInterface(riid, out);
    session->Release();
    return hr;
}

Session::Session(ITypeInfo* typeInfo)
    : refs_(1), typeInfo_(typeInfo), owner_(nullptr), showBoxes_(true), codePage_(CP_ACP) {
    typeInfo_->AddRef();
    ServerProcessAddRef();
}

Session::~Session() {
    connection_.Reset();
    session_.Reset();
    typeInfo_->Release();
    ServerProcessRelease();
}

STDMETHODIMP Session::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IRyInetSession))
        *out = static_cast<IRyInetSession*>(this);
    else if (IsEqualIID(riid, IID_ISupportErrorInfo))
        *out = static_cast<ISupportErrorInfo*>(this);
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

HRESULT Session::Bytes(BSTR text, std::string& bytes, UINT codePage) {
    if (ToServerBytes(text, codePage, bytes)) return S_OK;
    std::wstring name(text ? text : L"", SysStringLen(text));
    return RaiseError(RYINET_E_NAME, L"The name \"" + name + L"\" cannot be sent to the server in its " +
                                         (codePage == CP_UTF8 ? L"UTF-8." : L"ANSI code page."));
}

HRESULT Session::RequireConnection() {
    if (connection_) return S_OK;
    return RaiseError(RYINET_E_NOT_OPEN, L"Not connected: call Connect first.");
}

std::string Session::LastReplyBytes() const {
    DWORD error = 0, length = 0;
    InternetGetLastResponseInfoA(&error, nullptr, &length);
    if (length == 0) return std::string();
    std::string reply(length + 1, '\0');
    DWORD size = static_cast<DWORD>(reply.size());
    if (!InternetGetLastResponseInfoA(&error, &reply[0], &size)) return std::string();
    reply.resize(size < reply.size() ? size : reply.size());
    return TrimLineEnd(reply.c_str());
}

bool Session::ReplyIsRefusal() const {
    std::string reply = LastReplyBytes();
    return !reply.empty() && (reply[0] == '4' || reply[0] == '5');
}

HRESULT Session::Refused(const BoxCapture& boxes, const wchar_t* what) {
    std::wstring text = boxes.Seen() ? FromServerBytes(boxes.Text(), CP_ACP) : std::wstring(what);
    std::string reply = LastReplyBytes();
    if (!reply.empty()) text += L"\r\n" + FromServerBytes(reply, codePage_);
    return RaiseError(RYINET_E_REFUSED, text);
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

STDMETHODIMP Session::Open() {
    if (session_) return S_OK;
    BoxCapture boxes(showBoxes_);
    session_.Reset(RyINetOpen(Owner()));
    if (!session_) return Refused(boxes, L"The internet session could not be opened.");
    return S_OK;
}

STDMETHODIMP Session::Close() {
    connection_.Reset();
    session_.Reset();
    return S_OK;
}

STDMETHODIMP Session::Connect(BSTR server, BSTR userName, BSTR password, VARIANT_BOOL passive) {
    // Host, user and password go before the server could say it speaks UTF-8.
    std::string host, user, secret;
    HRESULT hr;
    if (FAILED(hr = Bytes(server, host, CP_ACP)) || FAILED(hr = Bytes(userName, user, CP_ACP)) ||
        FAILED(hr = Bytes(password, secret, CP_ACP)) || FAILED(hr = Open()))
        return hr;
    connection_.Reset();
    codePage_ = CP_ACP;
    if (passive) {
        // A passive connection is a WININET connection like RyFtpConnect's, and the
        // other exports take it the same way.
        HINTERNET c = InternetConnectA(session_.Internet(), host.c_str(), INTERNET_DEFAULT_FTP_PORT, user.c_str(),
                                       secret.c_str(), INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
        connection_.Reset(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(c)));
        if (!connection_) {
            BoxCapture none(false);
            return Refused(none, L"Could not connect to site.");
        }
    } else {
        BoxCapture boxes(showBoxes_);
        connection_.Reset(RyFtpConnect(session_.Get(), 0, Owner(), host.c_str(), user.c_str(), secret.c_str()));
        if (!connection_) return Refused(boxes, L"Could not connect to site.");
    }
    ChooseCodePage(host);
    return S_OK;
}

namespace {
// True when a FEAT reply lists UTF8 on a line of its own.
bool ListsUtf8(const std::string& features) {
    std::string text = features + "\n";
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = TrimLineEnd(text.substr(start, end - start));
        size_t first = line.find_first_not_of(' ');
        if (first != std::string::npos && lstrcmpiA(line.c_str() + first, "UTF8") == 0) return true;
    }
    return false;
}
}  // namespace

void Session::ChooseCodePage(const std::string& host) {
    // A server that lists UTF8 among its features takes and gives names in UTF-8
    // (RFC 2640); OPTS UTF8 ON is what some of them wait for before they do.
    HINTERNET c = connection_.Internet();
    std::string features;
    if (FtpCommandA(c, FALSE, FTP_TRANSFER_TYPE_BINARY, "FEAT", 0, nullptr)) features = LastReplyBytes();
    // Only the last line kept ("211 End"): the server is asked on a connection of our own.
    if (features.compare(0, 3, "211") == 0 && features.find('\n') == std::string::npos) features = AskFeatures(host.c_str());
    if (!ListsUtf8(features)) return;
    FtpCommandA(c, FALSE, FTP_TRANSFER_TYPE_BINARY, "OPTS UTF8 ON", 0, nullptr);
    codePage_ = CP_UTF8;
}

STDMETHODIMP Session::Disconnect() {
    connection_.Reset();
    codePage_ = CP_ACP;
    return S_OK;
}

STDMETHODIMP Session::get_Utf8(VARIANT_BOOL* utf8) {
    if (!utf8) return E_POINTER;
    *utf8 = connection_ && codePage_ == CP_UTF8 ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP Session::get_LastReply(BSTR* reply) {
    if (!reply) return E_POINTER;
    return ReturnText(FromServerBytes(LastReplyBytes(), codePage_), reply);
}

HRESULT Session::ListingBytes(BSTR pattern, std::string& text) {
    std::string bytes;
    HRESULT hr;
    if (FAILED(hr = RequireConnection()) || FAILED(hr = Bytes(pattern, bytes, codePage_))) return hr;
    ResultBuffer buffer;
    if (!buffer.Data()) return E_OUTOFMEMORY;
    BoxCapture boxes(showBoxes_);
    RyFtpDir(connection_.Get(), Owner(), bytes.empty() ? nullptr : bytes.c_str(), 0, buffer.Data());
    // 1 without a box is a listing that matched nothing: an empty one.
    if (boxes.Seen()) return Refused(boxes, L"");
    text = buffer.Data();
    return S_OK;
}

STDMETHODIMP Session::List(BSTR pattern, VARIANT* records) {
    if (!records) return E_POINTER;
    VariantInit(records);
    std::string text;
    HRESULT hr = ListingBytes(pattern, text);
    if (FAILED(hr)) return hr;
    std::vector<VARIANT> items;
    const char* cursor = text.c_str();
    RyListingEntry entry;
    while (RyListingNext(&cursor, &entry) == 1) items.push_back(RecordVariant(entry, codePage_));
    return ReturnArray(items, records);
}

STDMETHODIMP Session::ListText(BSTR pattern, BSTR* text) {
    if (!text) return E_POINTER;
    *text = nullptr;
    std::string bytes;
    HRESULT hr = ListingBytes(pattern, bytes);
    if (FAILED(hr)) return hr;
    return ReturnText(FromServerBytes(bytes, codePage_), text);
}

STDMETHODIMP Session::get_CurrentDirectory(BSTR* directory) {
    if (!directory) return E_POINTER;
    *directory = nullptr;
    HRESULT hr = RequireConnection();
    if (FAILED(hr)) return hr;
    char buffer[RYINET_CURDIR_BYTES] = "";
    BoxCapture boxes(showBoxes_);
    RyFtpCurDir(connection_.Get(), Owner(), buffer);
    if (boxes.Seen()) return Refused(boxes, L"");
    return ReturnText(FromServerBytes(buffer, lstrlenA(buffer), codePage_), directory);
}

STDMETHODIMP Session::put_CurrentDirectory(BSTR directory) {
    std::string bytes;
    HRESULT hr;
    if (FAILED(hr = RequireConnection()) || FAILED(hr = Bytes(directory, bytes, codePage_))) return hr;
    RyFSetDir(connection_.Get(), 0, bytes.c_str());
    // RYINET does not report a refusal; the server's reply does.
    if (ReplyIsRefusal()) {
        BoxCapture none(false);
        return Refused(none, L"Unable to change directory.");
    }
    return S_OK;
}

STDMETHODIMP Session::Delete(BSTR fileName) {
    std::string name;
    HRESULT hr;
    if (FAILED(hr = RequireConnection()) || FAILED(hr = Bytes(fileName, name, codePage_))) return hr;
    BoxCapture boxes(showBoxes_);
    RyFDelFile(connection_.Get(), Owner(), name.c_str());
    return boxes.Seen() ? Refused(boxes, L"") : S_OK;
}

STDMETHODIMP Session::Rename(BSTR existingName, BSTR newName) {
    std::string from, to;
    HRESULT hr;
    if (FAILED(hr = RequireConnection()) || FAILED(hr = Bytes(existingName, from, codePage_)) ||
        FAILED(hr = Bytes(newName, to, codePage_)))
        return hr;
    BoxCapture boxes(showBoxes_);
    RyFRenFile(connection_.Get(), Owner(), from.c_str(), to.c_str());
    return boxes.Seen() ? Refused(boxes, L"") : S_OK;
}

STDMETHODIMP Session::MakeDirectory(BSTR directory) {
    std::string name;
    HRESULT hr;
    if (FAILED(hr = RequireConnection()) || FAILED(hr = Bytes(directory, name, codePage_))) return hr;
    BoxCapture boxes(showBoxes_);
    RyFtpMd(connection_.Get(), Owner(), name.c_str());
    return boxes.Seen() ? Refused(boxes, L"") : S_OK;
}

STDMETHODIMP Session::RemoveDirectory(BSTR directory) {
    std::string name;
    HRESULT hr;
    if (FAILED(hr = RequireConnection()) || FAILED(hr = Bytes(directory, name, codePage_))) return hr;
    BoxCapture boxes(showBoxes_);
    RyFtpRd(connection_.Get(), Owner(), name.c_str());
    return boxes.Seen() ? Refused(boxes, L"") : S_OK;
}

namespace {
HRESULT LocalFileError(const wchar_t* what, BSTR path) {
    DWORD error = GetLastError();
    return RaiseError(HRESULT_FROM_WIN32(error), std::wstring(what) + L" " + (path ? path : L""));
}
}  // namespace

STDMETHODIMP Session::GetFile(BSTR remoteName, BSTR localPath, double* bytes) {
    if (!bytes) return E_POINTER;
    *bytes = 0;
    std::string name;
    HRESULT hr;
    if (FAILED(hr = RequireConnection()) || FAILED(hr = Bytes(remoteName, name, codePage_))) return hr;
    RyHandle remote;
    {
        BoxCapture boxes(showBoxes_);
        remote.Reset(RyFtpOpenFile(Owner(), connection_.Get(), name.c_str()));
        if (!remote) return Refused(boxes, L"Unable to open file.");
    }
    LocalFile local(CreateFileW(localPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!local.Valid()) return LocalFileError(L"The local file could not be made:", localPath);
    std::vector<char> chunk(kTransferChunk);
    double total = 0;
    const wchar_t* failure = nullptr;
    for (;;) {
        DWORD got = 0, written = 0;
        if (!InternetReadFile(remote.Internet(), chunk.data(), kTransferChunk, &got)) {
            failure = L"The transfer broke off.";
            break;
        }
        if (got == 0) break;
        if (!WriteFile(local.Get(), chunk.data(), got, &written, nullptr) || written != got) {
            hr = LocalFileError(L"The local file could not be written:", localPath);
            break;
        }
        total += got;
    }
    // The file is whole only when the server confirms the transfer, which WININET reads
    // as it closes the file handle.
    remote.Reset();
    if (!failure && SUCCEEDED(hr) && ReplyIsRefusal()) failure = L"The server did not complete the transfer.";
    local.Close();
    if (failure || FAILED(hr)) {
        DeleteFileW(localPath);
        if (failure) {
            BoxCapture none(false);
            return Refused(none, failure);
        }
        return hr;
    }
    *bytes = total;
    return S_OK;
}

STDMETHODIMP Session::PutFile(BSTR localPath, BSTR remoteName, double* bytes) {
    if (!bytes) return E_POINTER;
    *bytes = 0;
    std::string name;
    HRESULT hr;
    if (FAILED(hr = RequireConnection()) || FAILED(hr = Bytes(remoteName, name, codePage_))) return hr;
    LocalFile local(CreateFileW(localPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!local.Valid()) return LocalFileError(L"The local file could not be opened:", localPath);
    // RYINET opens files for reading only; a file to the server is WININET's own.
    HINTERNET remote = FtpOpenFileA(connection_.Internet(), name.c_str(), GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0);
    BoxCapture none(false);
    if (!remote) return Refused(none, L"Unable to store file.");
    std::vector<char> chunk(kTransferChunk);
    double total = 0;
    const wchar_t* failure = nullptr;
    for (;;) {
        DWORD got = 0, sent = 0;
        if (!ReadFile(local.Get(), chunk.data(), kTransferChunk, &got, nullptr)) {
            hr = LocalFileError(L"The local file could not be read:", localPath);
            break;
        }
        if (got == 0) break;
        if (!InternetWriteFile(remote, chunk.data(), got, &sent) || sent != got) {
            failure = L"The transfer broke off.";
            break;
        }
        total += got;
    }
    InternetCloseHandle(remote);
    if (!failure && SUCCEEDED(hr) && ReplyIsRefusal()) failure = L"The server did not complete the transfer.";
    if (failure) return Refused(none, failure);
    if (FAILED(hr)) return hr;
    *bytes = total;
    return S_OK;
}

STDMETHODIMP Session::get_InternetConnected(VARIANT_BOOL* connected) {
    if (!connected) return E_POINTER;
    *connected = RyINetConn() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP Session::get_LocalAddress(BSTR* address) {
    if (!address) return E_POINTER;
    *address = nullptr;
    char buffer[RYINET_ADDRESS_BYTES] = "";
    BoxCapture boxes(showBoxes_);
    if (RyGetIp(buffer, nullptr) != 0) return Refused(boxes, L"The local address is not known.");
    return ReturnText(FromServerBytes(buffer, lstrlenA(buffer), CP_ACP), address);
}

STDMETHODIMP Session::Phonebook(VARIANT* names) {
    if (!names) return E_POINTER;
    VariantInit(names);
    ResultBuffer buffer;
    if (!buffer.Data()) return E_OUTOFMEMORY;
    RyRasEnumE(0, buffer.Data());
    std::vector<VARIANT> items;
    std::string text = buffer.Data();
    for (size_t start = 0, end; (end = text.find(';', start)) != std::string::npos; start = end + 1)
        items.push_back(TextVariant(FromServerBytes(text.substr(start, end - start), CP_ACP)));
    return ReturnArray(items, names);
}

STDMETHODIMP Session::StoredCredentials(BSTR entry, VARIANT* credentials) {
    if (!credentials) return E_POINTER;
    VariantInit(credentials);
    std::string name;
    HRESULT hr = Bytes(entry, name, CP_ACP);
    if (FAILED(hr)) return hr;
    char user[RYINET_CREDENTIAL_BYTES] = "", password[RYINET_CREDENTIAL_BYTES] = "";
    RdlParms(name.c_str(), user, password);
    std::vector<VARIANT> items;
    items.push_back(TextVariant(FromServerBytes(user, lstrlenA(user), CP_ACP)));
    items.push_back(TextVariant(FromServerBytes(password, lstrlenA(password), CP_ACP)));
    SecureZeroMemory(password, sizeof password);
    return ReturnArray(items, credentials);
}

STDMETHODIMP Session::Dial(BSTR entry, BSTR userName, BSTR password, LONG* connection) {
    if (!connection) return E_POINTER;
    *connection = 0;
    std::string name, user, secret;
    HRESULT hr;
    if (FAILED(hr = Bytes(entry, name, CP_ACP)) || FAILED(hr = Bytes(userName, user, CP_ACP)) ||
        FAILED(hr = Bytes(password, secret, CP_ACP)))
        return hr;
    DWORD dialed = RyRasDial(nullptr, name.c_str(), user.c_str(), secret.c_str());
    if (!dialed) return RaiseError(RYINET_E_REFUSED, L"The dial failed: " + std::wstring(entry ? entry : L""));
    *connection = static_cast<LONG>(dialed);
    return S_OK;
}

STDMETHODIMP Session::HangUp(LONG connection) {
    // RYINET dials but has no hang-up; RAS's own call ends what it dialed.
    DWORD error = RasHangUpA(reinterpret_cast<HRASCONN>(static_cast<ULONG_PTR>(static_cast<DWORD>(connection))));
    if (error != 0) return RaiseError(HRESULT_FROM_WIN32(error), L"The connection could not be hung up.");
    return S_OK;
}
