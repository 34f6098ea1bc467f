// /regserver and /unregserver: the class, its ProgIDs and the type library in the
// registry, for every user (HKLM, administrators) or for the user who runs it alone
// (HKCU\Software\Classes, no administrator needed).
#pragma once
#include <windows.h>

enum class RegistrationScope { Machine, User };

// RegisterServer's failure when the user's classes would not be found (see below): it
// then leaves nothing registered.
const HRESULT kUserClassesUnread = REGDB_E_CLASSNOTREG;

HRESULT RegisterServer(RegistrationScope scope);
HRESULT UnregisterServer(RegistrationScope scope);

// Whether COM finds this program as the class's server where CreateObject looks: the
// ProgID and the class's LocalServer32 under HKEY_CLASSES_ROOT, which Windows merges from
// the machine's classes and the user's. Wine 8 reads the machine's alone, so a per-user
// registration is not found there.
bool ComFindsThisServer();
