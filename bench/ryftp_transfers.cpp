// bench/ryftp_transfers SERVER FILE SMALLFILE [ROWS]: ryftp's get and put (the same code as the
// commands, through the host kit) against the loops a host would write for the same job,
// on one connection, in turns, median of 9:
//  - get: a raw InternetReadFile loop into a file, and the bare loop that keeps nothing,
//    in 64 KiB blocks (as hosts, and this benchmark, have read so far) and in the kit's;
//  - put: the bare InternetWriteFile loop that sends the kit's block from memory (nothing
//    read), and WININET's one FtpPutFileA call. Then the same for a small file, which must not pay for what makes a large
// one fast. Prints figures, and appends them as rows of make bench's table to ROWS when
// given; asserts nothing.
#include <windows.h>
#include <wininet.h>
#include <stdio.h>
#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>
#include "ryinet.h"
#include "timing.h"
#include "session.h"

namespace {

HINTERNET Handle(DWORD connection) { return reinterpret_cast<HINTERNET>(connection); }

// Open, read blocks until none come (into local when given), close.
unsigned long long RawRead(DWORD connection, const char* file, const char* local, DWORD blockBytes = RYKIT_READ_BLOCK) {
    HINTERNET f = FtpOpenFileA(Handle(connection), file, GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
    if (!f) return 0;
    HANDLE out = local ? CreateFileA(local, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr) : nullptr;
    static std::vector<char> block(RYKIT_READ_BLOCK);
    unsigned long long total = 0;
    DWORD got, written;
    while (InternetReadFile(f, block.data(), blockBytes, &got) && got) {
        if (out) WriteFile(out, block.data(), got, &written, nullptr);
        total += got;
    }
    InternetCloseHandle(f);
    if (out) CloseHandle(out);
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

// Each kind takes every place in the order in turn, so none gains from its place.
bool Rounds(int kinds, std::vector<std::vector<double>>* seconds, const std::function<bool(int)>& run) {
    seconds->assign(kinds, {});
    for (int i = 0; i < 9; ++i)
        for (int k = 0; k < kinds; ++k) {
            int kind = (i + k) % kinds;
            auto a = Clock::now();
            if (!run(kind)) {
                fprintf(stderr, "transfer %d of round %d failed\n", kind, i);
                return false;
            }
            (*seconds)[kind].push_back(std::chrono::duration<double>(Clock::now() - a).count());
        }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: ryftp_transfers SERVER FILE SMALLFILE [ROWS]\n");
        return 2;
    }
    // ryftp's own commands: a session that says nothing, on the same server.
    RyKitBuffer results;
    RyKitBufferReserve(&results, RYINET_LISTING_BYTES(16), [](void*, size_t) { ExitProcess(3); }, nullptr);
    RyKitBoxWatch boxes = {};
    FILE* quiet = fopen("NUL", "w");
    ryftp::Session host(nullptr, results, boxes, false, quiet);
    if (!host.run({"open", argv[1], "ryuser", "rypass"})) return 1;
    DWORD session = RyINetOpen(nullptr);
    DWORD connection = RyFtpConnect(session, 0, nullptr, argv[1], "ryuser", "rypass");
    if (!connection) return 1;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string local = std::string(temp) + "ryftp-transfer-bench.bin", kept = local + ".kept";
    unsigned long long bytes = RawRead(connection, argv[2], kept.c_str());
    std::vector<std::vector<double>> get, put;
    bool ok = Rounds(4, &get, [&](int kind) {
        DeleteFileA(local.c_str());
        if (kind == 0) return RawRead(connection, argv[2], local.c_str()) == bytes;
        if (kind == 1) return host.run({"get", argv[2], local});
        return RawRead(connection, argv[2], nullptr, kind == 2 ? 64 * 1024 : RYKIT_READ_BLOCK) == bytes;
    }) && Rounds(3, &put, [&](int kind) {
        if (kind == 0) return BareWrite(connection, "bench-put.bin", bytes);
        if (kind == 1) return host.run({"put", kept, "bench-put.bin"});
        return FtpPutFileA(Handle(connection), kept.c_str(), "bench-put.bin", FTP_TRANSFER_TYPE_BINARY, 0) != FALSE;
    });
    // A small file must not pay for what makes a large one fast.
    std::vector<std::vector<double>> small;
    const std::string smallKept = local + ".small";
    unsigned long long smallBytes = RawRead(connection, argv[3], smallKept.c_str());
    ok = ok && Rounds(5, &small, [&](int kind) {
        DeleteFileA(local.c_str());
        if (kind == 0) return RawRead(connection, argv[3], local.c_str()) == smallBytes;
        if (kind == 1) return host.run({"get", argv[3], local});
        if (kind == 2) return BareWrite(connection, "bench-put-small.bin", smallBytes);
        if (kind == 3) return host.run({"put", smallKept, "bench-put-small.bin"});
        return FtpPutFileA(Handle(connection), smallKept.c_str(), "bench-put-small.bin", FTP_TRANSFER_TYPE_BINARY, 0) !=
               FALSE;
    });
    DeleteFileA(local.c_str());
    DeleteFileA(kept.c_str());
    DeleteFileA(smallKept.c_str());
    if (!ok) {
        fprintf(stderr, "a transfer failed\n");
        return 1;
    }
    double raw = Median(get[0]), g = Median(get[1]), bare64 = Median(get[2]), bare = Median(get[3]);
    double write = Median(put[0]), p = Median(put[1]), one = Median(put[2]);
    auto mbps = [&](double s) { return bytes / s / 1e6; };
    printf("%llu bytes, blocks of %u KiB read and %u KiB sent, median of 9:\n"
           "  get: raw InternetReadFile loop into a file  %.3f s  %4.0f MB/s\n"
           "  get: ryftp                                  %.3f s  %4.0f MB/s  %.2fx the raw loop's speed\n"
           "  get: bare 64 KiB read loop, nothing kept    %.3f s  %4.0f MB/s  (ryftp at %.2fx of it)\n"
           "  get: bare read loop, nothing kept           %.3f s  %4.0f MB/s  (ryftp at %.2fx of it)\n"
           "  put: bare InternetWriteFile loop            %.3f s  %4.0f MB/s\n"
           "  put: ryftp                                  %.3f s  %4.0f MB/s  (%.2fx the bare loop, %.1fx FtpPutFileA)\n"
           "  put: one FtpPutFileA call                   %.3f s  %4.0f MB/s\n",
           bytes, RYKIT_READ_BLOCK / 1024, RYKIT_SEND_BLOCK / 1024, raw, mbps(raw), g, mbps(g), raw / g, bare64,
           mbps(bare64), bare64 / g, bare, mbps(bare), bare / g, write, mbps(write), p, mbps(p), write / p, one / p, one, mbps(one));
    auto ms = [&](int kind) { return Median(small[kind]) * 1000; };
    printf("%llu bytes: get %.1f ms (raw loop into a file %.1f ms), put %.1f ms (bare loop %.1f ms, FtpPutFileA %.1f ms)\n",
           smallBytes, ms(1), ms(0), ms(3), ms(2), ms(4));
    if (argc > 4) {
        if (FILE* rows = fopen(argv[4], "a")) {
            double mib = bytes / 1048576.0;
            fprintf(rows, "| get of %.0f MiB: ryftp / bare 64 KiB read loop that keeps nothing | %.0f MB/s / %.0f MB/s = **%.2f** | >= 0.95 |\n",
                    mib, mbps(g), mbps(bare64), bare64 / g);
            fprintf(rows, "| get of %.0f MiB: ryftp / bare read loop in the kit's %u KiB blocks | %.0f MB/s / %.0f MB/s = %.2f |  |\n",
                    mib, RYKIT_READ_BLOCK / 1024, mbps(g), mbps(bare), bare / g);
            fprintf(rows, "| get of %.0f MiB: ryftp / raw InternetReadFile loop into a file | %.0f MB/s / %.0f MB/s = %.2f |  |\n",
                    mib, mbps(g), mbps(raw), raw / g);
            fprintf(rows, "| put of %.0f MiB: ryftp / bare InternetWriteFile loop | %.0f MB/s / %.0f MB/s = **%.2f** | >= 0.95 |\n",
                    mib, mbps(p), mbps(write), write / p);
            fprintf(rows, "| put of %.0f MiB: ryftp / one FtpPutFileA call | %.0f MB/s / %.0f MB/s = **%.1f** | >= 3 |\n",
                    mib, mbps(p), mbps(one), one / p);
            fprintf(rows, "| get of %llu bytes: ryftp / raw loop into a file | %.1f ms / %.1f ms |  |\n", smallBytes, ms(1),
                    ms(0));
            fprintf(rows, "| put of %llu bytes: ryftp / bare write loop / one FtpPutFileA call | %.1f ms / %.1f ms / %.1f ms |  |\n",
                    smallBytes, ms(3), ms(2), ms(4));
            fclose(rows);
        }
    }
    RyINetClose(connection, nullptr);
    RyINetClose(session, nullptr);
    return 0;
}
