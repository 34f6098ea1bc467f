// RyInet.Session: one internet session of RYINET and its FTP connection, with the DLL's
// dial-up and connectivity exports, in the types automation clients use. A host of the
// host kit as ryftp and the Explorer are: it connects, receives, sends, reads names, ends
// a stalled call and tries a broken transfer again through the kit, and moves many files
// at once on the kit's pool.
#pragma once
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>
#include <functional>
#include <string>
#include "progress_events.h"
#include "ryinet_automation.h"
#include "ryinet_kit.h"

// The HRESULTs of the object's own failures; each comes with IErrorInfo text.
#define RYINET_E_REFUSED MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0201)     // a box, or the server's refusal
#define RYINET_E_NOT_OPEN MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0202)    // no connection
#define RYINET_E_NAME MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0203)        // a name the server cannot be sent
#define RYINET_E_TIME_LIMIT MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0204)  // StallSeconds or MaxSeconds ended it
#define RYINET_E_CANCELLED MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0205)   // a Progress handler cancelled
#define RYINET_E_BUSY MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0206)        // a call of the object still runs

class BoxCapture;

class Session : public IRyInetSession,
                public ISupportErrorInfo,
                public IConnectionPointContainer,
                public IProvideClassInfo {
public:
    static HRESULT Create(REFIID riid, void** out);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IDispatch, through the type library.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override;
    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;
    // IConnectionPointContainer: the Progress event's one connection point.
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;
    // IProvideClassInfo: how script hosts and .NET find the event interface.
    STDMETHODIMP GetClassInfo(ITypeInfo** info) override;

    // IRyInetSession
    STDMETHODIMP get_OwnerWindow(LONGLONG* hwnd) override;
    STDMETHODIMP put_OwnerWindow(LONGLONG hwnd) override;
    STDMETHODIMP get_ShowBoxes(VARIANT_BOOL* show) override;
    STDMETHODIMP put_ShowBoxes(VARIANT_BOOL show) override;
    STDMETHODIMP get_StallSeconds(LONG* seconds) override;
    STDMETHODIMP put_StallSeconds(LONG seconds) override;
    STDMETHODIMP get_MaxSeconds(LONG* seconds) override;
    STDMETHODIMP put_MaxSeconds(LONG seconds) override;
    STDMETHODIMP get_Retries(LONG* retries) override;
    STDMETHODIMP put_Retries(LONG retries) override;
    STDMETHODIMP Open() override;
    STDMETHODIMP Close() override;
    STDMETHODIMP Connect(BSTR server, BSTR userName, BSTR password, VARIANT_BOOL passive) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP get_Utf8(VARIANT_BOOL* utf8) override;
    STDMETHODIMP get_LastReply(BSTR* reply) override;
    STDMETHODIMP List(BSTR pattern, VARIANT* records) override;
    STDMETHODIMP ListText(BSTR pattern, BSTR* text) override;
    STDMETHODIMP get_CurrentDirectory(BSTR* directory) override;
    STDMETHODIMP put_CurrentDirectory(BSTR directory) override;
    STDMETHODIMP Delete(BSTR fileName) override;
    STDMETHODIMP Rename(BSTR existingName, BSTR newName) override;
    STDMETHODIMP MakeDirectory(BSTR directory) override;
    STDMETHODIMP RemoveDirectory(BSTR directory) override;
    STDMETHODIMP GetFile(BSTR remoteName, BSTR localPath, double* bytes) override;
    STDMETHODIMP PutFile(BSTR localPath, BSTR remoteName, double* bytes) override;
    STDMETHODIMP get_InternetConnected(VARIANT_BOOL* connected) override;
    STDMETHODIMP get_LocalAddress(BSTR* address) override;
    STDMETHODIMP Phonebook(VARIANT* names) override;
    STDMETHODIMP StoredCredentials(BSTR entry, VARIANT* credentials) override;
    STDMETHODIMP Dial(BSTR entry, BSTR userName, BSTR password, LONG* connection) override;
    STDMETHODIMP HangUp(LONG connection) override;
    STDMETHODIMP get_Parallel(LONG* connections) override;
    STDMETHODIMP put_Parallel(LONG connections) override;
    STDMETHODIMP GetFiles(BSTR pattern, BSTR localFolder, LONG* files) override;
    STDMETHODIMP PutFiles(BSTR localPattern, BSTR remoteFolder, LONG* files) override;

private:
    Session(ITypeInfo* typeInfo);
    ~Session();

    // Runs one call that talks to the server (connection: it needs one) under the
    // watchdog, with a reference on the object; refused while another of its calls runs,
    // which a Progress handler that calls back would be. A call the watchdog ended fails
    // with the limit that ended it, whatever it returned.
    HRESULT Run(bool connection, const std::function<HRESULT()>& work);
    HRESULT Busy() const;
    HRESULT Ended(RyKitEnding how);

    // Text to and from the server's bytes, in its encoding (names_), or in the ANSI code
    // page that the library takes for hosts, users, passwords and phonebook entries.
    HRESULT ServerText(BSTR text, std::string& bytes) const;
    static HRESULT AnsiText(BSTR text, std::string& bytes);
    std::wstring FromServer(const char* bytes, size_t length) const;
    std::wstring FromServer(const std::string& bytes) const { return FromServer(bytes.data(), bytes.size()); }
    static std::wstring FromAnsi(const char* bytes, size_t length);

    // A failure before it is raised: a batch raises the first of its files' failures.
    struct Failure {
        HRESULT hr;
        std::wstring text;
    };
    static HRESULT Raise(const Failure& f);
    // A local file's: what failed, the path and the system's error number.
    static Failure LocalFileFailure(DWORD error, const std::wstring& what, const std::wstring& path);
    // The failure of a call: what the box said (or what), then the server's last reply.
    HRESULT Refused(const BoxCapture& boxes, const std::wstring& what) const;
    Failure RefusedWith(const std::wstring& what, const std::string& reply) const;
    std::wstring BoxText(const BoxCapture& boxes, const std::wstring& otherwise) const;
    std::string LastReplyBytes() const;
    HRESULT OpenSession();
    void CloseConnection();
    HRESULT Listing(BSTR pattern, std::string& text);
    // Delete, MakeDirectory, RemoveDirectory: one name, and the library's box for a refusal.
    using NameCall = LONG(WINAPI*)(DWORD connection, HWND owner, LPCSTR name);
    HRESULT OnName(BSTR name, NameCall call);
    HWND Owner() const { return showBoxes_ ? owner_ : nullptr; }
    DWORD Connection() const { return static_cast<DWORD>(connection_); }

    // The transfers (transfers.cpp): the kit's progress reaches the watchdog and the
    // clients' Progress handlers, which may cancel. Each event is a round trip to the
    // client (milliseconds across processes): a few a second show a transfer moving
    // without slowing it.
    static const DWORD kEventEveryMs = 250;
    static int OnProgress(void* self, ULONGLONG done, LONGLONG total);
    static void OnRetrying(void* self, unsigned attempt, unsigned retries, DWORD pauseSeconds, const char* reason);
    // The link as this transfer sees it: the owner of its boxes may have changed since.
    RyKitLink* Link();
    // Why a receive or a send failed; reply is the server's last reply on its connection,
    // notOpened what a receive that never began says before it.
    Failure ReceiveFailure(RyKitOutcome outcome, const RyKitReceive& r, const std::wstring& name,
                           const std::wstring& path, const std::wstring& notOpened, const std::string& reply) const;
    Failure SendFailure(RyKitOutcome outcome, const RyKitSend& s, const std::wstring& path,
                        const std::string& reply) const;

    // GetFiles and PutFiles (session_batches.cpp): the files on the kit's pool, its progress raised
    // as Progress, the first of its failures raised once all ran.
    struct Batch;
    static int OnBatchProgress(void* batch, const RyKitBatch* b);
    static void OnTransferEnded(void* batch, RyKitTransfer* t);
    static void OnPoolSays(void* batch, const char* text);
    HRESULT RunBatch(Batch& batch, LONG* files);
    Failure BatchFailure(const Batch& batch, size_t index) const;

    LONG refs_;
    ITypeInfo* typeInfo_;
    HWND owner_;
    bool showBoxes_;
    bool busy_;                 // a call of this object runs
    RyKitNames names_;          // what the connected server's names are written in
    volatile LONG session_;     // RYINET's handles; the watchdog takes and closes them
    volatile LONG connection_;  // to end a call (the connection first)
    RyKitWatchdog watchdog_;
    RyKitLink link_;            // how connection_ was opened, for the kit to open it again
    HRASCONN dialed_;           // the last Dial's handle as the client holds it; the link's
                                // may be a later one, dialed again after the line dropped
    ProgressEvents events_;
    DWORD lastEvent_;           // when Progress was last raised (GetTickCount)
    bool eventRaised_;          // in this transfer
    unsigned parallel_;         // connections of a batch at most (Parallel)
};
