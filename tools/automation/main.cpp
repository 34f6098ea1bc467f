// ryinet-automation.exe: the local server of RyInet.Session. A 32-bit program that loads
// RYINET.DLL, so that 64-bit programs and script hosts reach it through COM.
//   /regserver, /unregserver                 for every user (administrator)
//   /regserverperuser, /unregserverperuser   for the current user alone
//   -Embedding                               started by COM: serve until the last
//                                            object and lock are released
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <cstdio>
#include "box_capture.h"
#include "class_factory.h"
#include "registration.h"
#include "ryinet_automation.h"
#include "server_lifetime.h"

namespace {
// A server COM started whose client never came (it gave up, or died) would otherwise
// wait for good.
const UINT kFirstClientWaitMs = 60 * 1000;

class ComApartment {
public:
    ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() { if (SUCCEEDED(hr_)) CoUninitialize(); }
    HRESULT Result() const { return hr_; }

private:
    HRESULT hr_;
};

bool Is(const wchar_t* arg, const wchar_t* option) {
    return (arg[0] == L'/' || arg[0] == L'-') && lstrcmpiW(arg + 1, option) == 0;
}

int Report(const char* what, HRESULT hr) {
    // Registration runs from installers and consoles; the exit status says it too.
    if (FAILED(hr)) std::fprintf(stderr, "ryinet-automation: %s failed (0x%08lX)\n", what, (unsigned long)hr);
    return FAILED(hr) ? 1 : 0;
}

// Per user, where COM reads the user's classes; where it does not (Wine), nothing is left
// registered and the exit status says so, since CreateObject would not find the class.
int RegisterForUser() {
    HRESULT hr = RegisterServer(RegistrationScope::User);
    if (hr == kUserClassesUnread)
        std::fprintf(stderr,
                     "ryinet-automation: this system's COM does not read classes registered for one user "
                     "(HKCU\\Software\\Classes), so CreateObject(\"RyInet.Session\") would not find the server; "
                     "nothing is registered. Register it for every user with /regserver.\n");
    return Report("registration", hr);
}

int Serve() {
    // RYINET's failures become the caller's errors (see box_capture.h).
    if (!WatchBoxes()) return Report("the box watch", HRESULT_FROM_WIN32(GetLastError()));
    SetServerThread(GetCurrentThreadId());
    static SessionFactory factory;
    DWORD cookie = 0;
    HRESULT hr = CoRegisterClassObject(CLSID_Session, &factory, CLSCTX_LOCAL_SERVER,
                                       REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &cookie);
    if (FAILED(hr)) return Report("CoRegisterClassObject", hr);
    hr = CoResumeClassObjects();
    if (FAILED(hr)) {
        CoRevokeClassObject(cookie);
        return Report("CoResumeClassObjects", hr);
    }
    UINT_PTR firstClientTimer = SetTimer(nullptr, 0, kFirstClientWaitMs, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == firstClientTimer) {
            KillTimer(nullptr, firstClientTimer);
            if (!ServerWasUsed()) break;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    CoRevokeClassObject(cookie);
    StopWatchingBoxes();
    return 0;
}
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ComApartment apartment;
    if (FAILED(apartment.Result())) return Report("CoInitializeEx", apartment.Result());
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const wchar_t* option = argv && argc > 1 ? argv[1] : L"";
    int status;
    if (Is(option, L"regserver"))
        status = Report("registration", RegisterServer(RegistrationScope::Machine));
    else if (Is(option, L"unregserver"))
        status = Report("unregistration", UnregisterServer(RegistrationScope::Machine));
    else if (Is(option, L"regserverperuser"))
        status = RegisterForUser();
    else if (Is(option, L"unregserverperuser"))
        status = Report("unregistration", UnregisterServer(RegistrationScope::User));
    else
        status = Serve();
    LocalFree(argv);
    return status;
}
