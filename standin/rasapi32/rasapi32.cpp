// RASAPI32.DLL for Wine, whose own lists no entries and fails every dial: the five calls
// RYINET and ryftp make, answered from the user's default phonebook file. Loaded only
// under Wine (WINEDLLOVERRIDES=rasapi32=n, beside ryftp.exe); never shipped.
#include <windows.h>
#include <ras.h>
#include <fstream>
#include <mutex>
#include <sstream>
#include "phonebook_service.h"

namespace {

std::mutex g_lock;
rasstandin::Service g_service;

// %APPDATA%\Microsoft\Network\Connections\Pbk\rasphone.pbk, where Windows keeps the
// user's default phonebook. Read again at every call, so edits show at once.
void LoadPhonebook() {
    char appData[MAX_PATH] = "";
    DWORD n = GetEnvironmentVariableA("APPDATA", appData, MAX_PATH);
    g_service.entries.clear();
    if (n == 0 || n >= MAX_PATH) return;
    std::ifstream in(std::string(appData) + rasstandin::kPhonebookBelowAppData, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    g_service.entries = rasstandin::ParsePhonebook(text.str());
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

extern "C" DWORD WINAPI RasEnumEntriesA(LPCSTR reserved, LPCSTR phonebook, LPRASENTRYNAMEA names,
                                        LPDWORD bytes, LPDWORD count) {
    std::lock_guard<std::mutex> hold(g_lock);
    LoadPhonebook();
    return g_service.enumEntries(reserved, phonebook, names, bytes, count);
}

extern "C" DWORD WINAPI RasGetEntryDialParamsA(LPCSTR phonebook, LPRASDIALPARAMSA params,
                                               LPBOOL passwordReturned) {
    std::lock_guard<std::mutex> hold(g_lock);
    LoadPhonebook();
    return g_service.getEntryDialParams(phonebook, params, passwordReturned);
}

// Synchronous dials only: with a notifier the real service would dial asynchronously.
extern "C" DWORD WINAPI RasDialA(LPRASDIALEXTENSIONS extensions, LPCSTR phonebook, LPRASDIALPARAMSA params,
                                 DWORD, LPVOID notifier, LPHRASCONN connection) {
    if (notifier) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> hold(g_lock);
    LoadPhonebook();
    return g_service.dial(extensions, phonebook, params, connection);
}

extern "C" DWORD WINAPI RasHangUpA(HRASCONN connection) {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_service.hangUp(connection);
}

extern "C" DWORD WINAPI RasGetConnectStatusA(HRASCONN connection, LPRASCONNSTATUSA status) {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_service.connectStatus(connection, status);
}
