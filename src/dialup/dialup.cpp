// Default-phonebook entry names, stored dial parameters and a synchronous dial.
#include "ryinet.h"
#include <ras.h>
#include <raserror.h>
#include "records.h"
#include "../frame/unique.h"

namespace {

// The dial-parameters record holds a password: wiped on every path, by a write the
// optimiser must keep.
struct WipedRecord {
    using Type = DialParams*;
    static Type None() { return nullptr; }
    static void Release(Type p) { SecureZeroMemory(p, sizeof *p); }
};
using WipedDialParams = Unique<WipedRecord>;

DialParams* Cleared(DialParams* p) {
    SecureZeroMemory(p, sizeof *p);
    p->dwSize = sizeof *p;
    return p;
}

LPRASDIALPARAMSA Platform(const WipedDialParams& p) {
    return reinterpret_cast<LPRASDIALPARAMSA>(p.get());
}

// A text longer than its field is refused, never truncated: a cut entry name could
// name another entry and hand out its credentials.
bool FitsField(LPCSTR text) {
    for (int i = 0; i < kNameField; ++i)
        if (text[i] == '\0') return true;
    return false;
}

// Memory from the process heap, zeroed so records the service did not fill read as empty.
struct HeapMemory {
    using Type = void*;
    static Type None() { return nullptr; }
    static void Release(Type p) { HeapFree(GetProcessHeap(), 0, p); }
};
using ZeroedArray = Unique<HeapMemory>;

// Hang up and wait until the service has really let go of the port, as RAS asks;
// bounded so a service that never lets go cannot hold the host for ever.
void HangUp(HRASCONN connection) {
    RasHangUpA(connection);
    ConnStatus status;
    for (int waited = 0; waited < 3000; waited += 10) {
        SecureZeroMemory(&status, sizeof status);
        status.dwSize = sizeof status;
        if (RasGetConnectStatusA(connection, reinterpret_cast<LPRASCONNSTATUSA>(&status)) ==
            ERROR_INVALID_HANDLE)
            return;
        Sleep(10);
    }
}

}  // namespace

extern "C" LONG WINAPI RdlParms(LPCSTR entry, LPSTR userName, LPSTR password) {
    if (!FitsField(entry)) return 0;
    DialParams record;
    WipedDialParams params(Cleared(&record));
    lstrcpynA(params->szEntryName, entry, kNameField);
    BOOL passwordReturned = FALSE;
    if (RasGetEntryDialParamsA(nullptr, Platform(params), &passwordReturned) != 0) return 0;
    lstrcpynA(userName, params->szUserName, kNameField);
    if (passwordReturned) lstrcpynA(password, params->szPassword, kNameField);
    return 0;
}

extern "C" DWORD WINAPI RyRasDial(HWND, LPCSTR entry, LPCSTR userName, LPCSTR password) {
    if (!FitsField(entry) || !FitsField(userName) || !FitsField(password)) return 0;
    DialParams record;
    WipedDialParams params(Cleared(&record));
    lstrcpynA(params->szEntryName, entry, kNameField);
    lstrcpynA(params->szUserName, userName, kNameField);
    lstrcpynA(params->szPassword, password, kNameField);
    HRASCONN connection = nullptr;
    if (RasDialA(nullptr, nullptr, Platform(params), 0, nullptr, &connection) != 0) {
        // A failed dial is no live connection, and a handle it left holds a port.
        if (connection) HangUp(connection);
        return 0;
    }
    return reinterpret_cast<DWORD>(connection);
}

extern "C" LONG WINAPI RyRasEnumE(DWORD, LPSTR names) {
    names[0] = '\0';
    EntryName probe = {};
    probe.dwSize = sizeof probe;
    DWORD bytes = sizeof probe, count = 0;
    RasEnumEntriesA(nullptr, nullptr, reinterpret_cast<LPRASENTRYNAMEA>(&probe), &bytes, &count);
    if (count == 0 || count > MAXDWORD / sizeof(EntryName)) return 0;

    const DWORD allocated = count;
    ZeroedArray array(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, allocated * sizeof(EntryName)));
    if (!array) return 0;
    EntryName* entries = static_cast<EntryName*>(array.get());
    entries[0].dwSize = sizeof(EntryName);
    bytes = allocated * sizeof(EntryName);
    RasEnumEntriesA(nullptr, nullptr, reinterpret_cast<LPRASENTRYNAMEA>(entries), &bytes, &count);

    char* end = names;
    for (DWORD i = 0; i < count && i < allocated; ++i) {
        const CHAR* name = entries[i].szEntryName;
        for (int c = 0; c < kNameField - 1 && name[c]; ++c) *end++ = name[c];
        *end++ = ';';
    }
    *end = '\0';
    return 0;
}
