/* A host built the way Visual Studio builds one: MSVC's ABI, linked with /SAFESEH against
 * RYINET.lib, no C runtime. Every call goes through an import of the undecorated name;
 * the exit code says whether the results were right. The host kit compiles here too. */
#include <windows.h>
#include "ryinet_kit.h"

void __stdcall HostMain(void) {
    char ip[RYINET_ADDRESS_BYTES] = "";
    char listing[8] = "x";
    const char *names = "Office;Home;", *name;
    size_t length = 0;
    LONG gotIp = RyGetIp(ip, NULL);
    LONG connected = RyINetConn();
    DWORD session = RyINetOpen(NULL);
    LONG listed = RyFtpDir(0, NULL, "*", 0, listing); /* no connection: nothing listed */
    LONG closed = RyINetClose(session, NULL);
    BOOL ok = gotIp == 0 && ip[0] != '\0' && (connected == 0 || connected == 1) &&
              session != 0 && listed == 1 && listing[0] == '\0' && closed == 0 &&
              RyKitNextName(&names, &name, &length) && length == 6 && RyKitNextName(&names, &name, &length) &&
              length == 4 && !RyKitNextName(&names, &name, &length);
    ExitProcess(ok ? 0 : 1);
}
