#include "server_lifetime.h"
#include <objbase.h>

namespace {
DWORD g_serverThread = 0;
bool g_used = false;
}

void SetServerThread(DWORD threadId) { g_serverThread = threadId; }

void ServerProcessAddRef() {
    g_used = true;
    CoAddRefServerProcess();
}

bool ServerWasUsed() { return g_used; }

void ServerProcessRelease() {
    // At zero COM has already suspended the class object, so no new client reaches a
    // server that is on its way out.
    if (CoReleaseServerProcess() == 0 && g_serverThread)
        PostThreadMessageW(g_serverThread, WM_QUIT, 0, 0);
}
