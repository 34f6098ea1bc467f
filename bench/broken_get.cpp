// A 64 MiB get broken at half (the breaking server's 426) and gone on with, against an
// unbroken get of the same file: what the server sent in all, and the time. The receive
// is the host kit's own, as every host's is; the automatic try again through RyKitLink adds
// its first pause (1 s), so it is timed for the record beside the two receives a reget makes.
// broken_get ADDR ROOT SENT_LOG [ROWS]: ROOT holds r1.bin, r2.bin, r3.bin and auto.bin, one
// file under four names, none of them transferred yet.
#define RYKIT_IMPLEMENTATION
#include <windows.h>
#include <stdio.h>
#include <string>
#include <vector>
#include "ryinet_kit.h"
#include "timing.h"

namespace {

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// The bytes the server's RETRs sent, in order.
std::vector<unsigned long long> SentLog(const char* path) {
    std::vector<unsigned long long> sent;
    FILE* f = fopen(path, "r");
    unsigned long long n;
    while (f && fscanf(f, "%llu", &n) == 1) sent.push_back(n);
    if (f) fclose(f);
    return sent;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: broken_get ADDR ROOT SENT_LOG [ROWS]\n");
        return 2;
    }
    HMODULE wininet = LoadLibraryA("wininet.dll");  // the handles live as long as it does
    volatile LONG session = static_cast<LONG>(RyINetOpen(nullptr)), connection = 0;
    char reply[RYKIT_REPLY_BYTES];
    connection = static_cast<LONG>(
        RyKitConnect(static_cast<DWORD>(session), nullptr, argv[1], "ryuser", "rypass", 1, reply, sizeof reply));
    if (!connection) {
        fprintf(stderr, "broken_get: not connected to %s (%s)\n", argv[1], reply);
        return 1;
    }
    std::wstring local = L"broken-get.bin";
    // A command's round trip on this route: a receive that breaks and goes on makes some more.
    Clock::time_point n = Clock::now();
    for (int i = 0; i < 20; ++i)
        FtpCommandA(RyKitInternetHandle(static_cast<DWORD>(connection)), FALSE, FTP_TRANSFER_TYPE_BINARY, "NOOP", 0,
                    nullptr);
    double roundTrip = Seconds(n) / 20;
    std::vector<double> broken, unbroken;
    unsigned long long size = 0, sentInAll = 0, fileBytes = 0;
    RyKitReceive r;
    for (const char* name : {"r1.bin", "r2.bin", "r3.bin"}) {
        size_t before = SentLog(argv[3]).size();
        Clock::time_point t = Clock::now();
        RyKitOutcome first = RyKitReceiveFile(static_cast<DWORD>(connection), nullptr, name, local.c_str(), nullptr,
                                              nullptr, &r);
        RyKitOutcome second = RyKitReceiveFile(static_cast<DWORD>(connection), nullptr, name, local.c_str(), nullptr,
                                               nullptr, &r);
        broken.push_back(Seconds(t));
        if (first == RYKIT_RECEIVED || second != RYKIT_RECEIVED || r.resumedFrom == 0) {
            fprintf(stderr, "broken_get: %s did not break and go on (%d, %d)\n", name, first, second);
            return 1;
        }
        size = r.received;
        std::vector<unsigned long long> sent = SentLog(argv[3]);
        for (size_t i = before; i < sent.size(); ++i) sentInAll += sent[i];
        fileBytes += size;
        t = Clock::now();
        if (RyKitReceiveFile(static_cast<DWORD>(connection), nullptr, name, local.c_str(), nullptr, nullptr, &r) !=
            RYKIT_RECEIVED)
            return 1;
        unbroken.push_back(Seconds(t));
    }
    RyKitLink link;
    RyKitLinkInit(&link, &session, &connection, nullptr, nullptr, nullptr);
    RyKitLinkLoggedIn(&link, argv[1], "ryuser", "rypass", 1);
    Clock::time_point t = Clock::now();
    RyKitOutcome linked = RyKitLinkReceive(&link, "auto.bin", local.c_str(), nullptr, nullptr, &r);
    double automatic = Seconds(t);
    DeleteFileW(local.c_str());
    RyKitLinkForget(&link);
    RyKitCloseTaken(&connection, nullptr);
    RyKitCloseTaken(&session, nullptr);
    FreeLibrary(wininet);
    if (linked != RYKIT_RECEIVED) return 1;

    double b = Median(broken), u = Median(unbroken), mib = size / 1048576.0;
    char rows[1536];
    snprintf(rows, sizeof rows,
             "| get of %.0f MiB broken at half, gone on with (REST): bytes the server sent / the file's | %llu / %llu = "
             "**%.3f** | <= 1.01 |\n"
             "| get of %.0f MiB broken at half, gone on with: time / an unbroken get's | %.3f s / %.3f s = **%.2f** | "
             "<= 1.15 |\n"
             "| the same through RyKitLink, tried again by itself (its first pause, 1 s, included), for the record | "
             "%.3f s |  |\n"
             "| a command's round trip (NOOP) here, of which a broken get makes about 8 more, for the record | "
             "%.1f ms |  |\n",
             mib, sentInAll, fileBytes, static_cast<double>(sentInAll) / fileBytes, mib, b, u, b / u, automatic,
             roundTrip * 1000);
    fputs(rows, stdout);
    if (argc > 4)
        if (FILE* f = fopen(argv[4], "a")) {
            fputs(rows, f);
            fclose(f);
        }
    return 0;
}
