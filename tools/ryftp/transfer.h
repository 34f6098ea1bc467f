// Moving files: get reads a file RYINET opened through WININET, put is WININET's own
// upload on the connection handle (the library has none).
#pragma once
#include <windows.h>
#include <string>

// The remote file's size from the server, or -1 when it does not say.
long long RemoteSize(DWORD connection, const std::string& remote);

// Copies remote to local through local.part, renamed only when complete; a progress
// line for files over 1 MiB when progress is on. False, with no file left, on failure.
bool GetFile(DWORD connection, HWND owner, const std::string& remote, const std::string& local,
             bool progress);

bool PutFile(DWORD connection, const std::string& local, const std::string& remote);
