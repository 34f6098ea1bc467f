/* A host written in C: the header compiles as C and links through the import library. */
#include <windows.h>
#include "ryinet.h"

int CHostOpensAndClosesASession(void) {
    DWORD session = RyINetOpen(NULL);
    LONG closed = RyINetClose(session, NULL);
    return session != 0 && closed == 0;
}
