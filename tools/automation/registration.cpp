#include "registration.h"
#include <oleauto.h>
#include <string>
#include "ryinet_automation.h"
#include "type_library.h"

// In oleaut32 since Windows Vista; MinGW-w64's oleauto.h does not declare them.
extern "C" HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* path, OLECHAR* helpDir);
extern "C" HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libId, WORD major, WORD minor, LCID lcid, SYSKIND kind);

namespace {
const wchar_t kProgId[] = L"RyInet.Session";
const wchar_t kVersionedProgId[] = L"RyInet.Session.1";
const wchar_t kDescription[] = L"RYINET session";

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

HKEY ClassesRoot(RegistrationScope scope, HKEY& opened) {
    opened = nullptr;
    HKEY root = scope == RegistrationScope::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    if (RegCreateKeyExW(root, L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr) !=
        ERROR_SUCCESS)
        return nullptr;
    return opened;
}

// Sets the key's value (the default value when name is NULL), making the key as needed.
LONG SetText(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY k;
    LONG error = RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr);
    if (error != ERROR_SUCCESS) return error;
    error = RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(k);
    return error;
}

LONG DeleteTree(HKEY root, const std::wstring& key) {
    LONG error = RegDeleteTreeW(root, key.c_str());
    if (error == ERROR_SUCCESS) error = RegDeleteKeyW(root, key.c_str());
    return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
}

LONG WriteClassKeys(HKEY root, const std::wstring& program) {
    std::wstring clsid = L"CLSID\\" + GuidText(CLSID_Session);
    LONG error = ERROR_SUCCESS;
    struct { std::wstring key; const wchar_t* name; std::wstring value; } entries[] = {
        {clsid, nullptr, kDescription},
        {clsid + L"\\LocalServer32", nullptr, L"\"" + program + L"\""},
        {clsid + L"\\ProgID", nullptr, kVersionedProgId},
        {clsid + L"\\VersionIndependentProgID", nullptr, kProgId},
        {clsid + L"\\TypeLib", nullptr, GuidText(LIBID_RyInetAutomation)},
        {clsid + L"\\Version", nullptr, L"1.0"},
        {clsid + L"\\Programmable", nullptr, L""},
        {kProgId, nullptr, kDescription},
        {std::wstring(kProgId) + L"\\CLSID", nullptr, GuidText(CLSID_Session)},
        {std::wstring(kProgId) + L"\\CurVer", nullptr, kVersionedProgId},
        {kVersionedProgId, nullptr, kDescription},
        {std::wstring(kVersionedProgId) + L"\\CLSID", nullptr, GuidText(CLSID_Session)},
    };
    for (const auto& e : entries)
        if (error == ERROR_SUCCESS) error = SetText(root, e.key, e.name, e.value);
    return error;
}

LONG DeleteClassKeys(HKEY root) {
    LONG error = DeleteTree(root, L"CLSID\\" + GuidText(CLSID_Session));
    LONG progId = DeleteTree(root, kProgId);
    LONG versioned = DeleteTree(root, kVersionedProgId);
    if (error == ERROR_SUCCESS) error = progId;
    if (error == ERROR_SUCCESS) error = versioned;
    return error;
}
}  // namespace

bool ComFindsThisServer() {
    CLSID found;
    if (FAILED(CLSIDFromProgID(kProgId, &found)) || !IsEqualCLSID(found, CLSID_Session)) return false;
    std::wstring key = L"CLSID\\" + GuidText(CLSID_Session) + L"\\LocalServer32";
    wchar_t server[MAX_PATH + 3] = L"";
    DWORD bytes = sizeof server - sizeof server[0];
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, server, &bytes) != ERROR_SUCCESS)
        return false;
    return lstrcmpiW(server, (L"\"" + ThisProgramPath() + L"\"").c_str()) == 0;
}

HRESULT RegisterServer(RegistrationScope scope) {
    std::wstring program = ThisProgramPath();
    ITypeLib* library = nullptr;
    HRESULT hr = LoadTypeLibEx(program.c_str(), REGKIND_NONE, &library);
    if (FAILED(hr)) return hr;
    HKEY root;
    LONG error = ClassesRoot(scope, root) ? WriteClassKeys(root, program) : ERROR_ACCESS_DENIED;
    // Classes that COM does not read are taken back before anything else is written.
    if (error == ERROR_SUCCESS && scope == RegistrationScope::User && !ComFindsThisServer()) {
        DeleteClassKeys(root);
        hr = kUserClassesUnread;
    } else if (error != ERROR_SUCCESS) {
        hr = HRESULT_FROM_WIN32(error);
    }
    if (root) RegCloseKey(root);
    // The type library names the universal marshaler as the interface's proxy, which is
    // what carries calls from clients of either bitness to this 32-bit server.
    if (SUCCEEDED(hr))
        hr = scope == RegistrationScope::Machine
                 ? RegisterTypeLib(library, const_cast<LPOLESTR>(program.c_str()), nullptr)
                 : RegisterTypeLibForUser(library, const_cast<LPOLESTR>(program.c_str()), nullptr);
    library->Release();
    return hr;
}

HRESULT UnregisterServer(RegistrationScope scope) {
    // Not registered is what unregistering wants; the calls below would call it an error.
    HRESULT hr = S_OK;
    BSTR registered = nullptr;
    if (SUCCEEDED(QueryPathOfRegTypeLib(LIBID_RyInetAutomation, 1, 0, LOCALE_NEUTRAL, &registered))) {
        SysFreeString(registered);
        hr = scope == RegistrationScope::Machine
                 ? UnRegisterTypeLib(LIBID_RyInetAutomation, 1, 0, LOCALE_NEUTRAL, SYS_WIN32)
                 : UnRegisterTypeLibForUser(LIBID_RyInetAutomation, 1, 0, LOCALE_NEUTRAL, SYS_WIN32);
        if (hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_LIBNOTREGISTERED) hr = S_OK;
    }
    HKEY root;
    if (!ClassesRoot(scope, root)) return E_ACCESSDENIED;
    LONG error = DeleteClassKeys(root);
    RegCloseKey(root);
    return FAILED(hr) ? hr : HRESULT_FROM_WIN32(error);
}

