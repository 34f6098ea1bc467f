// Connected state and the local machine's address.
#include <winsock.h>
#include "ryinet.h"
#include "../frame/binding.h"
#include "../frame/boxes.h"
#include "../frame/unique.h"

namespace {

const WORD kSockets11 = 0x0101;
const int kHostNameLength = 80;
const int kAddressLength = RYINET_ADDRESS_BYTES;  // what hosts give RyGetIp

// One start-up of the sockets layer, ended on every path; the layer counts them, so
// concurrent calls do not disturb each other.
struct SocketsStarted {
    using Type = bool;
    static Type None() { return false; }
    static void Release(Type) { WSACleanup(); }
};
using SocketsUse = Unique<SocketsStarted>;

bool StartSockets() {
    WSADATA data;
    return WSAStartup(kSockets11, &data) == 0;
}

}  // namespace

extern "C" LONG WINAPI RyINetConn() {
    InternetBinding inet(LoadInternetLibrary());
    if (!inet) return 0;
    auto connectedState = RY_RESOLVE(inet, InternetGetConnectedState);
    if (!connectedState) return 0;
    DWORD flags = 0;
    return connectedState(&flags, 0) == 1 ? 1 : 0;
}

// The second argument is part of the contract but not used: the local name is looked up.
extern "C" LONG WINAPI RyGetIp(LPSTR address, LPCSTR) {
    SocketsUse sockets(StartSockets());
    if (!sockets) return -1;
    char name[kHostNameLength];
    if (gethostname(name, sizeof name) != 0) return -1;
    const hostent* host = gethostbyname(name);
    if (!host) {
        InfoBox(nullptr, Box::HostLookupFailed);
        return -1;
    }
    for (char** entry = host->h_addr_list; *entry; ++entry) {
        in_addr a;
        CopyMemory(&a, *entry, sizeof a);
        lstrcpynA(address, inet_ntoa(a), kAddressLength);
    }
    return 0;
}
