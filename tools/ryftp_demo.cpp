// ryftp_demo [server [user password]]: a small host of RYINET.dll. Opens a session,
// connects, shows the remote directory and its listing, closes everything, and prints
// what happened at each step.
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include "ryinet.h"

namespace {

// A listing is "name;date;size|" records; print one per line.
void PrintListing(const char* listing) {
    for (const char* p = listing; *p;) {
        const char* end = strchr(p, '|');
        if (!end) end = p + strlen(p);
        printf("    %.*s\n", static_cast<int>(end - p), p);
        p = *end ? end + 1 : end;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const char* server = argc > 1 ? argv[1] : "127.0.0.1";
    const char* user = argc > 3 ? argv[2] : "ryuser";
    const char* password = argc > 3 ? argv[3] : "rypass";

    // Handles stay valid only while the internet library is loaded: keep it.
    HMODULE wininet = LoadLibraryA("wininet.dll");

    DWORD session = RyINetOpen(nullptr);
    printf("RyINetOpen -> session %#lx\n", session);
    if (!session) return 1;

    DWORD connection = RyFtpConnect(session, 0, nullptr, server, user, password);
    printf("RyFtpConnect(%s, %s) -> connection %#lx\n", server, user, connection);
    int status = connection ? 0 : 1;
    if (connection) {
        char dir[260] = "";
        RyFtpCurDir(connection, nullptr, dir);
        printf("RyFtpCurDir -> \"%s\"\n", dir);

        static char listing[64 * 290 + 1];
        LONG opened = RyFtpDir(connection, nullptr, "*", 0, listing);
        printf("RyFtpDir(\"*\") -> %ld\n", opened);
        PrintListing(listing);

        printf("RyINetClose(connection) -> %ld\n", RyINetClose(connection, nullptr));
    }
    printf("RyINetClose(session) -> %ld\n", RyINetClose(session, nullptr));
    printf("RyINetConn -> %ld\n", RyINetConn());
    char ip[16] = "";
    LONG got = RyGetIp(ip, nullptr);
    printf("RyGetIp -> %ld \"%s\"\n", got, ip);
    FreeLibrary(wininet);
    return status;
}
