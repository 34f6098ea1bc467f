// What a careful host writes to fetch a file through WININET itself, the loop make bench
// holds the kit's receive against: the file opened in binary, each block written to the
// local file as it comes, in the kit's block size, every read and write checked, the
// handle closed (WININET then reads the final reply), that reply looked at, and the copy
// Wine's WININET keeps in the URL cache deleted. The block is the host's, kept between
// calls. mark(step) names each step as it begins, for the table of steps.
#pragma once
#include <windows.h>
#include <wininet.h>
#include <string>
#include <vector>
#include "ryinet_kit.h"

enum HostGetStep { kHostOpen, kHostCreate, kHostRead, kHostWrite, kHostClose, kHostUncache, kHostDone };

// The bytes received, or -1 when anything failed.
template <typename Mark>
long long HostGet(DWORD connection, const char* remote, const std::wstring& local, Mark mark) {
    static std::vector<char> block(RYKIT_READ_BLOCK);
    mark(kHostOpen);
    HINTERNET f = FtpOpenFileA(RyKitInternetHandle(connection), remote, GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
    if (!f) return -1;
    wchar_t copy[MAX_PATH];
    bool cached = RyKitCachedCopy(f, copy);
    mark(kHostCreate);
    HANDLE out = CreateFileW(local.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    long long total = out == INVALID_HANDLE_VALUE ? -1 : 0;
    DWORD got = 0, written;
    BOOL read = TRUE;
    while (total >= 0 && (mark(kHostRead), read = InternetReadFile(f, block.data(), RYKIT_READ_BLOCK, &got)) && got) {
        mark(kHostWrite);
        total = WriteFile(out, block.data(), got, &written, nullptr) && written == got ? total + got : -1;
    }
    if (!read) total = -1;
    mark(kHostClose);
    InternetCloseHandle(f);
    char reply[RYKIT_REPLY_BYTES];
    RyKitLastResponseInfo(reply, sizeof reply);
    if (RyKitReplyCode(reply) / 100 != 2) total = -1;
    mark(kHostUncache);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    if (cached) DeleteFileW(copy);
    mark(kHostDone);
    return total;
}

inline long long HostGet(DWORD connection, const char* remote, const std::wstring& local) {
    return HostGet(connection, remote, local, [](int) {});
}
