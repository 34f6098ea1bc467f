// bench/ryftp_get SERVER FILE [ROWS]: ryftp's get (the same code: size query, RyFtpOpenFile, a
// read loop into FILE.part, rename) against the raw InternetReadFile loop a host would
// write for the same job (64 KiB blocks into a file), and against the bare loop that
// keeps nothing. One connection, in turns, each into a new local file, median of 9.
// Prints figures, and appends them as rows of make bench's table to ROWS when given;
// asserts nothing.
#include <windows.h>
#include <wininet.h>
#include <stdio.h>
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>
#include "ryinet.h"
#include "timing.h"
#include "session.h"

namespace {

// Open, read 64 KiB blocks until none come (into local when given), close.
unsigned long long RawRead(DWORD connection, const char* file, const char* local) {
    HINTERNET f = FtpOpenFileA(reinterpret_cast<HINTERNET>(connection), file, GENERIC_READ,
                               FTP_TRANSFER_TYPE_BINARY, 0);
    if (!f) return 0;
    HANDLE out = local ? CreateFileA(local, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr) : nullptr;
    static char block[64 * 1024];
    unsigned long long total = 0;
    DWORD got, written;
    while (InternetReadFile(f, block, sizeof block, &got) && got) {
        if (out) WriteFile(out, block, got, &written, nullptr);
        total += got;
    }
    InternetCloseHandle(f);
    if (out) CloseHandle(out);
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: ryftp_get SERVER FILE [ROWS]\n");
        return 2;
    }
    // ryftp's own get: a session that says nothing, on the same server.
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
    const std::string local = std::string(temp) + "ryftp-get-bench.bin";
    std::vector<double> ryftp, raw, bare;
    unsigned long long bytes = 0;
    // Each kind takes every place in the order in turn, so none gains from its place.
    for (int i = 0; i < 9; ++i) {
        for (int k = 0; k < 3; ++k) {
            int kind = (i + k) % 3;
            DeleteFileA(local.c_str());
            auto a = Clock::now();
            if (kind == 0) bytes = RawRead(connection, argv[2], local.c_str());
            if (kind == 1 && !host.run({"get", argv[2], local})) return 1;
            if (kind == 2) RawRead(connection, argv[2], nullptr);
            double seconds = std::chrono::duration<double>(Clock::now() - a).count();
            (kind == 0 ? raw : kind == 1 ? ryftp : bare).push_back(seconds);
        }
    }
    DeleteFileA(local.c_str());
    double r = Median(raw), g = Median(ryftp), n = Median(bare);
    auto mbps = [&](double s) { return bytes / s / 1e6; };
    printf("get of %llu bytes, median of 9:\n"
           "  raw InternetReadFile loop into a file  %.3f s  %4.0f MB/s\n"
           "  ryftp get                              %.3f s  %4.0f MB/s  %.2fx the raw loop's speed\n"
           "  bare loop, nothing kept                %.3f s  %4.0f MB/s  (ryftp at %.2fx of it)\n",
           bytes, r, mbps(r), g, mbps(g), r / g, n, mbps(n), n / g);
    if (argc > 3) {
        if (FILE* rows = fopen(argv[3], "a")) {
            double mib = bytes / 1048576.0;
            fprintf(rows, "| get of %.0f MiB: ryftp / raw InternetReadFile loop into a file | %.0f MB/s / %.0f MB/s = **%.2f** | >= 0.95 |\n",
                    mib, mbps(g), mbps(r), r / g);
            fprintf(rows, "| get of %.0f MiB: ryftp / bare read loop that keeps nothing | %.0f MB/s / %.0f MB/s = %.2f |  |\n",
                    mib, mbps(g), mbps(n), n / g);
            fclose(rows);
        }
    }
    RyINetClose(connection, nullptr);
    RyINetClose(session, nullptr);
    return 0;
}
