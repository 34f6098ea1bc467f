// bench/load_baseline [ROWS]: the load test's mixed work against pyftpdlib (the server
// RYTEST_PYFTPD_HOST names), 8 threads x 25 rounds, through the platform's own calls and
// through RYINET. pyftpdlib loses some active-mode data connections under this load
// whoever calls, so this is a figure beside RYINET's, not a verdict: it prints both and,
// with ROWS, adds a row to make bench's table. A hung thread stays inside the internet
// library for good, so the process ends without waiting for it.
#include <windows.h>
#include <wininet.h>
#include <stdio.h>
#include <string>
#include "boxes.h"
#include "load.h"

namespace {

// The names a listing of pattern gives through the platform.
std::string RawNames(const HostWininet& w, HINTERNET c, const char* pattern) {
    WIN32_FIND_DATAA f;
    HINTERNET find = w.FtpFindFirstFileA(c, pattern, &f, 0, 0);
    if (!find) return "";
    std::string names;
    do names += std::string(f.cFileName) + "|";
    while (w.InternetFindNextFileA(find, &f));
    w.InternetCloseHandle(find);
    return names;
}

bool RawRound(const HostWininet& w, const Expected& e, HINTERNET c, const std::string& dir,
              const std::string& names) {
    char cur[RYINET_CURDIR_BYTES];
    DWORD n = sizeof cur;
    if (!w.FtpGetCurrentDirectoryA(c, cur, &n) || e.base != cur) return false;
    if (!w.FtpCreateDirectoryA(c, dir.c_str()) || !w.FtpSetCurrentDirectoryA(c, dir.c_str())) return false;
    n = sizeof cur;
    if (!w.FtpGetCurrentDirectoryA(c, cur, &n) || e.under(dir) != cur) return false;
    if (!w.FtpSetCurrentDirectoryA(c, e.base.c_str()) || !w.FtpRemoveDirectoryA(c, dir.c_str())) return false;
    if (RawNames(w, c, "pub/*") != names) return false;
    HINTERNET file = w.FtpOpenFileA(c, "binary.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
    if (!file) return false;
    std::string got = w.readAll(file);
    w.InternetCloseHandle(file);
    return got == e.binary;
}

// The platform's thread: the same work through WININET itself.
ThreadWork RawWork(const HostWininet& w, const Expected& e, const std::string& names) {
    const HostWininet* host = &w;
    return [host, e, names](int t, int rounds, const RoundDone& done) {
        const HostWininet& w = *host;
        std::string dir = "rawload" + std::to_string(t);
        HINTERNET s = w.InternetOpenA("RY", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
        HINTERNET c = w.InternetConnectA(s, e.server.host.c_str(), 21, e.user.c_str(), e.password.c_str(),
                                         INTERNET_SERVICE_FTP, 0, 0);
        w.FtpSetCurrentDirectoryA(c, e.base.c_str());
        for (int i = 0; i < rounds; ++i) done(c && RawRound(w, e, c, dir, names));
        w.InternetCloseHandle(c);
        w.InternetCloseHandle(s);
    };
}

}  // namespace

int main(int argc, char** argv) {
    auto* w = new HostWininet;  // never freed: a hung thread may still be inside the library
    BoxRecorder boxes;
    Expected e = ExpectedFor("PYFTPD");
    e.listing = QuietListing(e);
    if (!e.server.present() || e.listing.find("notes.txt;") == std::string::npos) {
        fprintf(stderr, "load_baseline: no sample tree at RYTEST_PYFTPD_HOST\n");
        return 1;
    }
    HINTERNET s = w->InternetOpenA("RY", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    HINTERNET c = w->InternetConnectA(s, e.server.host.c_str(), 21, e.user.c_str(), e.password.c_str(),
                                      INTERNET_SERVICE_FTP, 0, 0);
    w->FtpSetCurrentDirectoryA(c, e.base.c_str());
    std::string names = RawNames(*w, c, "pub/*");
    w->InternetCloseHandle(c);
    w->InternetCloseHandle(s);
    LoadResult raw = RunLoad(8, 25, RawWork(*w, e, names));
    LoadResult ry = RunLoad(8, 25, RyinetWork(*w, e));
    printf("pyftpdlib, 8 threads x 25 rounds: raw WinINet %d of 200 rounds failed (%d threads hung, %.1f s); "
           "RYINET %d of 200 (%d hung, %.1f s)\n", raw.failedRounds, raw.hungThreads, raw.seconds, ry.failedRounds,
           ry.hungThreads, ry.seconds);
    if (argc > 1)
        if (FILE* f = fopen(argv[1], "a")) {
            fprintf(f, "| pyftpdlib, 8 threads x 25 rounds of mixed work: rounds failed, raw WinINet / RYINET "
                    "| %d (%d threads hung) / %d (%d hung) of 200 |  |\n", raw.failedRounds, raw.hungThreads,
                    ry.failedRounds, ry.hungThreads);
            fclose(f);
        }
    fflush(stdout);
    ExitProcess(0);  // without waiting for a thread that hung
}
