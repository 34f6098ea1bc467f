// RyInet.Session: one internet session of RYINET and its FTP connection, with the DLL's
// dial-up and connectivity exports, in the types automation clients use.
#pragma once
#include <windows.h>
#include <string>
#include "ryinet_automation.h"
#include "ryinet_handle.h"

// The HRESULTs of the object's own failures; each comes with IErrorInfo text.
#define RYINET_E_REFUSED MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0201)   // a box, or the server's refusal
#define RYINET_E_NOT_OPEN MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0202)  // no connection yet
#define RYINET_E_NAME MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0203)      // a name the server cannot be sent

class BoxCapture;

class Session : public IRyInetSession, public ISupportErrorInfo {
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

    // IRyInetSession
    STDMETHODIMP get_OwnerWindow(LONGLONG* hwnd) override;
    STDMETHODIMP put_OwnerWindow(LONGLONG hwnd) override;
    STDMETHODIMP get_ShowBoxes(VARIANT_BOOL* show) override;
    STDMETHODIMP put_ShowBoxes(VARIANT_BOOL show) override;
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

private:
    Session(ITypeInfo* typeInfo);
    ~Session();

    // A name in the connection's code page, or RYINET_E_NAME with its text.
    HRESULT Bytes(BSTR text, std::string& bytes, UINT codePage);
    HRESULT RequireConnection();
    // The failure of a call: the box it showed (or what) and the server's last reply.
    HRESULT Refused(const BoxCapture& boxes, const wchar_t* what);
    // The server's last reply as WININET kept it for this thread, without its line end.
    std::string LastReplyBytes() const;
    bool ReplyIsRefusal() const;
    HRESULT ListingBytes(BSTR pattern, std::string& text);
    void ChooseCodePage(const std::string& host);
    HWND Owner() const { return owner_; }

    LONG refs_;
    ITypeInfo* typeInfo_;
    HWND owner_;
    bool showBoxes_;
    UINT codePage_;
    // Closed in reverse order: the connection before the session.
    RyHandle session_;
    RyHandle connection_;
};
