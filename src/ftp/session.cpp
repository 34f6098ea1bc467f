// Internet session, FTP connection, and the close shared by every handle kind.
#include "ryinet.h"
#include "../frame/binding.h"
#include "../frame/boxes.h"
#include "handles.h"

namespace {
const char kAgent[] = "RY";
}

extern "C" DWORD WINAPI RyINetOpen(HWND owner) {
    InternetBinding inet(LoadInternetLibrary());
    if (!inet) return 0;
    auto open = RY_RESOLVE(inet, InternetOpenA);
    if (!open) {
        InfoBox(owner, Box::OpenNotFound);
        return 0;
    }
    HINTERNET session = open(kAgent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (!session) InfoBox(owner, Box::OpenFailed);
    return FromHandle(session);
}

extern "C" LONG WINAPI RyINetClose(DWORD handle, HWND owner) {
    InternetBinding inet(LoadInternetLibrary());
    if (!inet) return 0;
    auto close = RY_RESOLVE(inet, InternetCloseHandle);
    if (!close) {
        InfoBox(owner, Box::CloseNotFound);
        return 0;
    }
    close(AsHandle(handle));
    return 0;
}

namespace {
// Connects, or tells the user why not. Its binding is released on return, before
// RyFtpConnect shows the closing box.
HINTERNET Connect(DWORD session, HWND owner, LPCSTR server, LPCSTR user, LPCSTR password) {
    InternetBinding inet(LoadInternetLibrary());
    if (!inet) {
        InfoBox(owner, Box::ConnectNoLibrary);
        return nullptr;
    }
    auto connect = RY_RESOLVE(inet, InternetConnectA);
    if (!connect) {
        InfoBox(owner, Box::ConnectNotFound);
        return nullptr;
    }
    return connect(AsHandle(session), server, INTERNET_DEFAULT_FTP_PORT,
                   user, password, INTERNET_SERVICE_FTP, 0, 0);
}
}  // namespace

extern "C" DWORD WINAPI RyFtpConnect(DWORD session, DWORD, HWND owner, LPCSTR server,
                                     LPCSTR user, LPCSTR password) {
    HINTERNET connection = Connect(session, owner, server, user, password);
    if (!connection) InfoBox(owner, Box::ConnectFailed);
    return FromHandle(connection);
}
