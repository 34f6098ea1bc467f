// bench/receive_steps SERVER BIG SMALL [ROWS]: where a receive's time goes, step by step:
// the host kit's RyKitReceiveFile (its own copy of the kit, compiled here with the step
// marks it offers) beside the careful host's loop (host_get.h), for the large file and
// the small one, in turns on one passive connection (RyKitConnect, as the hosts connect),
// median of 15 of each step. Prints the table, and writes it to ROWS when given; asserts
// nothing.
#include <windows.h>
#include <wininet.h>
#include <stdio.h>
#include <chrono>
#include <string>
#include <vector>
#include "timing.h"

namespace {

// The kit's steps, by the names its marks give them.
enum KitStep { k_size, k_open, k_create, k_read, k_progress, k_write, k_close, k_uncache, k_check, k_rename, k_done, kKitSteps };

// Each mark ends the step before it and begins its own, on the calling thread.
struct Steps {
    std::vector<double> spent;
    int step = -1;
    Clock::time_point since;
    void mark(int next) {
        auto now = Clock::now();
        if (step >= 0) spent[step] += std::chrono::duration<double>(now - since).count();
        step = next;
        since = now;
    }
};
Steps g_kit;

}  // namespace

#define RYKIT_RECEIVE_STEP(step) g_kit.mark(k_##step)
#define RYKIT_IMPLEMENTATION
#include "ryinet_kit.h"
#include "host_get.h"

namespace {

struct Row {
    const char* what;
    int kit, host;  // the step of each, or -1
};
const Row kRows[] = {
    {"SIZE (after TYPE I when the type is not known) before the transfer", k_size, -1},
    {"opening: TYPE I, PASV, RETR and its reply (WININET), the cache copy named", k_open, kHostOpen},
    {"the local file created (the kit: NAME.part)", k_create, kHostCreate},
    {"reads (Wine writes its cache copy of each block inside)", k_read, kHostRead},
    {"progress calls", k_progress, -1},
    {"writes", k_write, kHostWrite},
    {"closing: WININET reads the final reply", k_close, kHostClose},
    {"the cache copy deleted, the local file closed", k_uncache, kHostUncache},
    {"the verdict (a SIZE after the transfer where one is needed)", k_check, -1},
    {"the rename to NAME", k_rename, -1},
};

struct Medians {
    std::vector<double> kit, host;  // seconds, by step
    double kitTotal, hostTotal;
};

// n rounds of both, in turns; the median of each step.
bool Measure(DWORD connection, const char* remote, const std::wstring& local, int n, Medians* m) {
    std::vector<std::vector<double>> kit(kKitSteps), host(kHostDone);
    std::vector<double> kitTotal, hostTotal;
    for (int i = 0; i < 2 * n; ++i) {
        DeleteFileW(local.c_str());
        Steps s;
        s.spent.assign(kKitSteps, 0);
        RyKitReceive r;
        auto start = Clock::now();
        if (i % 2 == 0) {
            g_kit = s;
            if (RyKitReceiveFile(connection, nullptr, remote, local.c_str(), nullptr, nullptr, &r) != RYKIT_RECEIVED) return false;
            s = g_kit;
        } else if (HostGet(connection, remote, local, [&s](int step) { s.mark(step); }) < 0) {
            return false;
        }
        (i % 2 ? hostTotal : kitTotal).push_back(std::chrono::duration<double>(Clock::now() - start).count());
        std::vector<std::vector<double>>& into = i % 2 ? host : kit;
        for (size_t k = 0; k < into.size(); ++k) into[k].push_back(s.spent[k]);
    }
    for (auto& v : kit) m->kit.push_back(Median(v));
    for (auto& v : host) m->host.push_back(Median(v));
    m->kitTotal = Median(kitTotal);
    m->hostTotal = Median(hostTotal);
    return true;
}

std::string Cell(const std::vector<double>& spent, int step) {
    char text[32];
    if (step < 0) return "";
    snprintf(text, sizeof text, "%.2f", spent[step] * 1000);
    return text;
}

void WriteTable(FILE* out, const char* big, const char* small, const Medians& b, const Medians& s) {
    fprintf(out, "| step of a receive, ms (median of 15) | kit, %s | host's loop, %s | kit, %s | host's loop, %s |\n",
            big, big, small, small);
    fprintf(out, "|---|---|---|---|---|\n");
    for (const Row& row : kRows)
        fprintf(out, "| %s | %s | %s | %s | %s |\n", row.what, Cell(b.kit, row.kit).c_str(), Cell(b.host, row.host).c_str(),
                Cell(s.kit, row.kit).c_str(), Cell(s.host, row.host).c_str());
    fprintf(out, "| the whole receive: kit / host's loop | %.2f / %.2f = %.2f | | %.2f / %.2f = %.2f | |\n",
            b.kitTotal * 1000, b.hostTotal * 1000, b.kitTotal / b.hostTotal, s.kitTotal * 1000, s.hostTotal * 1000,
            s.kitTotal / s.hostTotal);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: receive_steps SERVER BIG SMALL [ROWS]\n");
        return 2;
    }
    HMODULE wininet = LoadLibraryA("wininet.dll");  // the handles live as long as it does
    DWORD session = RyINetOpen(nullptr);
    char reply[RYKIT_REPLY_BYTES];
    DWORD connection = RyKitConnect(session, nullptr, argv[1], "ryuser", "rypass", 1, reply, sizeof reply);
    if (!connection) {
        fprintf(stderr, "receive_steps: no connection (%s)\n", reply);
        return 1;
    }
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring local = std::wstring(temp) + L"ryinet-receive-steps.bin";
    Medians big, small;
    bool ok = Measure(connection, argv[2], local, 15, &big) && Measure(connection, argv[3], local, 15, &small);
    DeleteFileW(local.c_str());
    RyINetClose(connection, nullptr);
    RyINetClose(session, nullptr);
    FreeLibrary(wininet);
    if (!ok) {
        fprintf(stderr, "receive_steps: a receive failed\n");
        return 1;
    }
    WriteTable(stdout, argv[2], argv[3], big, small);
    if (argc > 4)
        if (FILE* rows = fopen(argv[4], "w")) {
            WriteTable(rows, argv[2], argv[3], big, small);
            fclose(rows);
        }
    return 0;
}
