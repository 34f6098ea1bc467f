// Moving files: get receives a file RYINET opened, through the host kit (NAME.part,
// renamed only when complete); put is WININET's own upload on the connection handle (the
// library has none). Both report to out.
#pragma once
#include <windows.h>
#include <stdio.h>
#include <string>
#include "watchdog.h"

// A progress line for files over 1 MiB when progress is on. False, with the local file
// as it was and no .part left, on failure. Each block received is progress for the
// watchdog, if one watches; once it has ended the transfer, nothing more is said here.
bool GetFile(DWORD connection, HWND owner, const std::string& remote, const std::string& local, FILE* out,
             bool progress, Watchdog* watchdog = nullptr);

bool PutFile(DWORD connection, const std::string& local, const std::string& remote, FILE* out,
             Watchdog* watchdog = nullptr);
