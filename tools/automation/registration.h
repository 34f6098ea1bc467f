// /regserver and /unregserver: the class, its ProgIDs and the type library in the
// registry, for every user (HKLM, administrators) or for the user who runs it alone
// (HKCU\Software\Classes, no administrator needed).
#pragma once
#include <windows.h>

enum class RegistrationScope { Machine, User };

HRESULT RegisterServer(RegistrationScope scope);
HRESULT UnregisterServer(RegistrationScope scope);
