// The dial-up and connectivity members: the phonebook, stored credentials, a dial and its
// hang-up, the connected state and the local address. The library takes and gives them
// in the ANSI code page.
#include "automation_error.h"
#include "box_capture.h"
#include "result_buffer.h"
#include "session.h"
#include "variants.h"

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
    return ReturnText(FromAnsi(buffer, lstrlenA(buffer)), address);
}

STDMETHODIMP Session::Phonebook(VARIANT* names) {
    if (!names) return E_POINTER;
    VariantInit(names);
    RyKitBuffer* results = ServerResults();
    if (!results) return E_OUTOFMEMORY;
    RyKitBufferPhonebook(results);
    std::vector<VARIANT> items;
    const char *cursor = results->data, *name;
    size_t length;
    while (RyKitNextName(&cursor, &name, &length)) items.push_back(TextVariant(FromAnsi(name, length)));
    RyKitBufferDecommit(results);
    return ReturnArray(items, names);
}

STDMETHODIMP Session::StoredCredentials(BSTR entry, VARIANT* credentials) {
    if (!credentials) return E_POINTER;
    VariantInit(credentials);
    std::string name;
    HRESULT hr = AnsiText(entry, name);
    if (FAILED(hr)) return hr;
    RyKitCredentials stored;
    RyKitReadCredentials(&stored, name.c_str());  // an unknown entry gives two empty Strings
    std::vector<VARIANT> items;
    items.push_back(TextVariant(FromAnsi(stored.user, lstrlenA(stored.user))));
    items.push_back(TextVariant(FromAnsi(stored.password, lstrlenA(stored.password))));
    RyKitWipeCredentials(&stored);
    return ReturnArray(items, credentials);
}

STDMETHODIMP Session::Dial(BSTR entry, BSTR userName, BSTR password, LONG* connection) {
    if (!connection) return E_POINTER;
    *connection = 0;
    std::string name, user, secret;
    HRESULT hr;
    if (FAILED(hr = AnsiText(entry, name)) || FAILED(hr = AnsiText(userName, user)) ||
        FAILED(hr = AnsiText(password, secret)))
        return hr;
    DWORD dialed = RyRasDial(nullptr, name.c_str(), user.c_str(), secret.c_str());
    if (dialed) {
        // A transfer that finds the line dropped dials it again with these.
        dialed_ = reinterpret_cast<HRASCONN>(static_cast<ULONG_PTR>(dialed));
        RyKitLinkDialed(&link_, name.c_str(), user.c_str(), secret.c_str(), dialed_);
    }
    SecureZeroMemory(&secret[0], secret.size());
    if (!dialed) return RaiseError(RYINET_E_REFUSED, L"The dial failed: " + std::wstring(entry ? entry : L""));
    *connection = static_cast<LONG>(dialed);
    return S_OK;
}

STDMETHODIMP Session::HangUp(LONG connection) {
    // RYINET dials but has no hang-up: the kit's ends what it dialed and waits until the
    // service has let the port go, so the next dial finds it free.
    HRASCONN dial = reinterpret_cast<HRASCONN>(static_cast<ULONG_PTR>(static_cast<DWORD>(connection)));
    if (dial && dial == dialed_) {
        // The client's handle may be of a line the kit has since dialed again: the line
        // that is up now is the one it means.
        if (link_.dial) dial = link_.dial;
        dialed_ = nullptr;
        RyKitLinkDialed(&link_, "", "", "", nullptr);
    }
    DWORD error = RyKitHangUp(dial);
    if (error != 0)
        return RaiseError(HRESULT_FROM_WIN32(error),
                          L"The connection could not be hung up (error " + std::to_wstring(error) + L").");
    return S_OK;
}
