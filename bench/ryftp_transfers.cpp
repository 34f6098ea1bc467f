// bench/ryftp_transfers SERVER BIG SMALL MANY [ROWS]: ryftp's get, put and mget (the same
// code as the commands, through the host kit) against the loops a host would write for the
// same job, all on ryftp's own connection (passive, as ryftp connects), in turns, medians
// of 15 rounds (of 5 for the mget):
//  - get: a careful host's loop that writes the same file (host_get.h), in the kit's block
//    size; for the record, bare read loops that keep nothing, in those blocks and in 64 KiB;
//  - put: the bare InternetWriteFile loop that sends the kit's block from memory (nothing
//    read), and WININET's one FtpPutFileA call;
//  - the same for the small file, which must not pay for what makes a large one fast;
//  - mget of every file in the directory MANY against a host's loop over the same listing.
// Prints figures, and appends them as rows of make bench's table to ROWS when given;
// asserts nothing.
#include <windows.h>
#include <wininet.h>
#include <stdio.h>
#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>
#include "ryinet.h"
#include "host_get.h"
#include "timing.h"
#include "session.h"

namespace {

HINTERNET Handle(DWORD connection) { return reinterpret_cast<HINTERNET>(connection); }

// Open, read blocks until none come, keeping nothing, close.
long long BareRead(DWORD connection, const char* remote, DWORD blockBytes) {
    static std::vector<char> block(RYKIT_READ_BLOCK);
    HINTERNET f = FtpOpenFileA(Handle(connection), remote, GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
    if (!f) return -1;
    long long total = 0;
    DWORD got;
    while (InternetReadFile(f, block.data(), blockBytes, &got) && got) total += got;
    InternetCloseHandle(f);
    return total;
}

// Open for writing, send bytes from one block in memory, close; false unless all went.
bool BareWrite(DWORD connection, const char* remote, unsigned long long bytes) {
    HINTERNET f = FtpOpenFileA(Handle(connection), remote, GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0);
    if (!f) return false;
    static std::vector<char> block(RYKIT_SEND_BLOCK, 'x');
    DWORD wrote = 0;
    bool ok = true;
    for (unsigned long long sent = 0; ok && sent < bytes; sent += wrote) {
        DWORD n = static_cast<DWORD>(std::min<unsigned long long>(block.size(), bytes - sent));
        ok = InternetWriteFile(f, block.data(), n, &wrote) && wrote == n;
    }
    InternetCloseHandle(f);
    return ok;
}

// The names of the files a listing of directory/* gives, through the platform.
std::vector<std::string> Listed(DWORD connection, const std::string& directory) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA f;
    HINTERNET find = FtpFindFirstFileA(Handle(connection), (directory + "/*").c_str(), &f, 0, 0);
    for (BOOL more = find != nullptr; more; more = InternetFindNextFileA(find, &f))
        if (!(f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(f.cFileName);
    if (find) InternetCloseHandle(find);
    return names;
}

// A host's mget: the listing, then HostGet for each file into directory local.
bool RawMget(DWORD connection, const std::string& remote, const std::wstring& local) {
    std::vector<std::string> names = Listed(connection, remote);
    for (const std::string& name : names)
        if (HostGet(connection, (remote + "/" + name).c_str(), local + L"\\" + std::wstring(name.begin(), name.end())) < 0)
            return false;
    return !names.empty();
}

// Each kind takes every place in the order in turn, so none gains from its place;
// prepare(kind) runs before each, untimed.
bool Rounds(int rounds, int kinds, std::vector<std::vector<double>>* seconds, const std::function<void(int)>& prepare,
            const std::function<bool(int)>& run) {
    seconds->assign(kinds, {});
    for (int i = 0; i < rounds; ++i)
        for (int k = 0; k < kinds; ++k) {
            int kind = (i + k) % kinds;
            prepare(kind);
            auto a = Clock::now();
            if (!run(kind)) {
                fprintf(stderr, "transfer %d of round %d failed\n", kind, i);
                return false;
            }
            (*seconds)[kind].push_back(std::chrono::duration<double>(Clock::now() - a).count());
        }
    return true;
}

void EmptyDirectory(const std::wstring& directory) {
    WIN32_FIND_DATAW f;
    HANDLE h = FindFirstFileW((directory + L"\\*").c_str(), &f);
    for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileW(h, &f))
        if (!(f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((directory + L"\\" + f.cFileName).c_str());
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
}

struct Figures {
    std::vector<std::vector<double>> get, put, small, mget;
    unsigned long long bytes = 0, smallBytes = 0;
    size_t files = 0;
};

// The rows of make bench's table: every ratio as a / b = r.
void WriteRows(FILE* rows, const Figures& f) {
    auto mbps = [&](const std::vector<double>& s) { return f.bytes / Median(s) / 1e6; };
    auto ms = [&](const std::vector<double>& s) { return Median(s) * 1000; };
    double mib = f.bytes / 1048576.0, g = mbps(f.get[1]), p = mbps(f.put[1]);
    fprintf(rows, "| get of %.0f MiB: ryftp / raw loop that writes the file, %u KiB blocks | %.0f MB/s / %.0f MB/s = **%.2f** | >= 0.95 |\n",
            mib, RYKIT_READ_BLOCK / 1024, g, mbps(f.get[0]), g / mbps(f.get[0]));
    fprintf(rows, "| get of %.0f MiB: ryftp / bare read loop in those blocks, writing nothing | %.0f MB/s / %.0f MB/s = %.2f |  |\n",
            mib, g, mbps(f.get[3]), g / mbps(f.get[3]));
    fprintf(rows, "| get of %.0f MiB: ryftp / bare 64 KiB read loop, writing nothing | %.0f MB/s / %.0f MB/s = %.2f |  |\n",
            mib, g, mbps(f.get[2]), g / mbps(f.get[2]));
    fprintf(rows, "| put of %.0f MiB: ryftp / bare InternetWriteFile loop, %u KiB blocks | %.0f MB/s / %.0f MB/s = **%.2f** | >= 0.95 |\n",
            mib, RYKIT_SEND_BLOCK / 1024, p, mbps(f.put[0]), p / mbps(f.put[0]));
    fprintf(rows, "| put of %.0f MiB: ryftp / one FtpPutFileA call | %.0f MB/s / %.0f MB/s = **%.1f** | >= 3 |\n", mib, p,
            mbps(f.put[2]), p / mbps(f.put[2]));
    fprintf(rows, "| get of %llu bytes: ryftp / raw loop that writes the file | %.1f ms / %.1f ms = **%.2f** | <= 1.15 |\n",
            f.smallBytes, ms(f.small[1]), ms(f.small[0]), Median(f.small[1]) / Median(f.small[0]));
    fprintf(rows, "| put of %llu bytes: ryftp / bare write loop (one FtpPutFileA call: %.1f ms) | %.1f ms / %.1f ms = %.2f |  |\n",
            f.smallBytes, ms(f.small[4]), ms(f.small[3]), ms(f.small[2]), Median(f.small[3]) / Median(f.small[2]));
    fprintf(rows, "| mget of %zu files of %llu bytes: ryftp / raw loop over the same listing, one connection | %.2f s / %.2f s = **%.2f** | <= 1.15 |\n",
            f.files, f.smallBytes, Median(f.mget[1]), Median(f.mget[0]), Median(f.mget[1]) / Median(f.mget[0]));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        fprintf(stderr, "usage: ryftp_transfers SERVER BIG SMALL MANY [ROWS]\n");
        return 2;
    }
    // ryftp's own commands: a session that says nothing, on the same server.
    RyKitBuffer results;
    RyKitBufferReserve(&results, RYINET_LISTING_BYTES(2000), [](void*, size_t) { ExitProcess(3); }, nullptr);
    RyKitBoxWatch boxes = {};
    FILE* quiet = fopen("NUL", "w");
    ryftp::Session host(nullptr, results, boxes, false, quiet);
    if (!host.run({"open", argv[1], "ryuser", "rypass"})) return 1;
    host.prompting = false;
    const DWORD connection = host.connection();
    wchar_t tempW[MAX_PATH];
    GetTempPathW(MAX_PATH, tempW);
    const std::wstring local = std::wstring(tempW) + L"ryftp-transfer-bench.bin", kept = local + L".kept";
    const std::wstring smallKept = local + L".small", many = std::wstring(tempW) + L"ryftp-mget-bench";
    auto utf8 = [](const std::wstring& w) { return std::string(w.begin(), w.end()); };  // the temporary path is ASCII
    Figures f;
    f.bytes = HostGet(connection, argv[2], kept);
    f.smallBytes = HostGet(connection, argv[3], smallKept);
    f.files = Listed(connection, argv[4]).size();
    CreateDirectoryW(many.c_str(), nullptr);
    auto fresh = [&](int) { DeleteFileW(local.c_str()); };
    bool ok = Rounds(15, 4, &f.get, fresh, [&](int kind) {
        if (kind == 0) return HostGet(connection, argv[2], local) == static_cast<long long>(f.bytes);
        if (kind == 1) return host.run({"get", argv[2], utf8(local)});
        return BareRead(connection, argv[2], kind == 2 ? 64 * 1024 : RYKIT_READ_BLOCK) == static_cast<long long>(f.bytes);
    }) && Rounds(15, 3, &f.put, fresh, [&](int kind) {
        if (kind == 0) return BareWrite(connection, "bench-put.bin", f.bytes);
        if (kind == 1) return host.run({"put", utf8(kept), "bench-put.bin"});
        return FtpPutFileW(Handle(connection), kept.c_str(), L"bench-put.bin", FTP_TRANSFER_TYPE_BINARY, 0) != FALSE;
    }) && Rounds(15, 5, &f.small, fresh, [&](int kind) {
        if (kind == 0) return HostGet(connection, argv[3], local) == static_cast<long long>(f.smallBytes);
        if (kind == 1) return host.run({"get", argv[3], utf8(local)});
        if (kind == 2) return BareWrite(connection, "bench-put-small.bin", f.smallBytes);
        if (kind == 3) return host.run({"put", utf8(smallKept), "bench-put-small.bin"});
        return FtpPutFileW(Handle(connection), smallKept.c_str(), L"bench-put-small.bin", FTP_TRANSFER_TYPE_BINARY, 0) !=
               FALSE;
    }) && host.run({"lcd", utf8(many)}) && Rounds(5, 2, &f.mget, [&](int) { EmptyDirectory(many); }, [&](int kind) {
        return kind == 0 ? RawMget(connection, argv[4], many) : host.run({"mget", std::string(argv[4]) + "/*"});
    });
    EmptyDirectory(many);
    RemoveDirectoryW(many.c_str());
    for (const std::wstring& file : {local, kept, smallKept}) DeleteFileW(file.c_str());
    if (!ok) {
        fprintf(stderr, "a transfer failed\n");
        return 1;
    }
    WriteRows(stdout, f);
    if (argc > 5)
        if (FILE* rows = fopen(argv[5], "a")) {
            WriteRows(rows, f);
            fclose(rows);
        }
    return 0;
}
