// Moving files: get receives a file RYINET opened, through the host kit (NAME.part,
// renamed only when complete); put is WININET's own upload on the connection handle (the
// library has none). Both report to out.
#pragma once
#include <windows.h>
#include <wininet.h>
#include <stdio.h>
#include <string>
#include "watchdog.h"

// A progress line for files over 1 MiB when progress is on; with hash, a # for every
// kHashBytes instead. False, with the local file as it was and no .part left, on failure.
// Each block received is progress for the watchdog, if one watches; once it has ended the
// transfer, nothing more is said here.
const unsigned kHashBytes = 2048;
bool GetFile(DWORD connection, HWND owner, const std::string& remote, const std::string& local, FILE* out,
             bool progress, bool hash = false, Watchdog* watchdog = nullptr);

// type is FTP_TRANSFER_TYPE_BINARY or FTP_TRANSFER_TYPE_ASCII.
bool PutFile(DWORD connection, const std::string& local, const std::string& remote, FILE* out,
             DWORD type = FTP_TRANSFER_TYPE_BINARY, Watchdog* watchdog = nullptr);

// What a Windows client receives in ASCII type: each LF not already after a CR becomes
// CRLF. The file is rewritten through a new temporary file beside it; false, with the
// file as received, when that fails.
bool ToCrlf(const std::string& local, FILE* out);
