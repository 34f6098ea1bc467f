#include "server_lifetime.h"
#include <objbase.h>

namespace {
DWORD g_serverThread = 0;
}

void SetServerThread(DWORD threadId) { g_serverThread = threadId; }

void ServerProcessAddRef() { CoAddRefServerProcess(); }

void ServerProcessRelease() {
    // At zero COM has already suspended the class object, so no new client reaches a
    // server that is on its way out.
    if (CoReleaseServerProcess() == 0 && g_serverThread)
        PostThreadMessageW(g_serverThread, WM_QUIT, 0, 0);
}
