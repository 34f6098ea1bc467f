// The phonebook service behind the RAS stand-ins: the RASAPI32.DLL that replaces Wine's
// stub, and the test bench's in-process service. It answers the calls RYINET and its
// hosts make, with the record sizes and error codes of the real service.
#pragma once
#include <windows.h>
#include <ras.h>
#include <string>
#include <vector>
#include "phonebook_text.h"

namespace rasstandin {

// Where the user's default phonebook lies below %APPDATA%, as on Windows.
const char kPhonebookBelowAppData[] = "\\Microsoft\\Network\\Connections\\Pbk\\rasphone.pbk";

// For the programs that run hosts against the stand-in: makes appData this process's
// %APPDATA% (the hosts it starts inherit it) and writes text there as the phonebook.
void WriteUserPhonebook(const std::string& appData, const std::string& text);

class Service {
public:
    std::vector<Entry> entries;
    bool fillWhatFits = false;           // a too-small enumeration fills the records that fit
    bool failedDialLeavesHandle = true;  // the real service's way

    DWORD enumEntries(LPCSTR reserved, LPCSTR phonebook, LPRASENTRYNAMEA names, LPDWORD bytes,
                      LPDWORD count);
    DWORD getEntryDialParams(LPCSTR phonebook, void* params, LPBOOL passwordReturned);
    DWORD dial(const void* extensions, LPCSTR phonebook, const void* params, HRASCONN* connection);
    DWORD hangUp(HRASCONN connection);
    DWORD connectStatus(HRASCONN connection, LPRASCONNSTATUSA status);

private:
    struct Connection {
        DWORD handle;
        DWORD error;         // 0 for a live connection, else why the dial failed
        int pollsUntilGone;  // after a hang-up: status polls that still see it
        bool hungUp;
        bool dropped;        // the line went down: Disconnected, 629
    };
    const Entry* find(const char* name) const;
    Connection* connection(HRASCONN handle);

    DWORD nextHandle_ = 0x100;
    std::vector<Connection> connections_;
    std::vector<std::string> dialed_;  // the entry of each connection dialed, in order
};

}  // namespace rasstandin
