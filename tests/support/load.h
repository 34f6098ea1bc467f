// A long-lived host's load: host threads, each with its own session and connection,
// doing rounds of mixed work against one real server, and what each round must see. The
// load test judges RYINET's rounds; make bench (bench/load_baseline.cpp) sets the
// platform's own rounds beside them.
#pragma once
#include <windows.h>
#include <wininet.h>
#include <string.h>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include "ftp_env.h"
#include "ryinet.h"

const HWND kLoadOwner = reinterpret_cast<HWND>(0x10AD);

// The host's own hold on the internet library, and the entries it uses itself.
struct HostWininet {
    HMODULE module = LoadLibraryA("wininet.dll");
    template <typename Fn> Fn get(const char* name) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }
#define HOST_ENTRY(fn) decltype(&::fn) fn = get<decltype(&::fn)>(#fn)
    HOST_ENTRY(InternetOpenA);
    HOST_ENTRY(InternetConnectA);
    HOST_ENTRY(InternetCloseHandle);
    HOST_ENTRY(InternetReadFile);
    HOST_ENTRY(FtpGetCurrentDirectoryA);
    HOST_ENTRY(FtpSetCurrentDirectoryA);
    HOST_ENTRY(FtpCreateDirectoryA);
    HOST_ENTRY(FtpRemoveDirectoryA);
    HOST_ENTRY(FtpFindFirstFileA);
    HOST_ENTRY(InternetFindNextFileA);
    HOST_ENTRY(FtpOpenFileA);
    HOST_ENTRY(InternetQueryOptionW);
#undef HOST_ENTRY
    ~HostWininet() { FreeLibrary(module); }

    std::string readAll(HINTERNET file) const {
        std::string out;
        char chunk[4096];
        DWORD got = 0;
        while (InternetReadFile(file, chunk, sizeof chunk, &got) && got) out.append(chunk, got);
        return out;
    }

    // A file RYINET opened, read to its end and closed as a careful host does: the copy
    // Wine's WININET writes of it into the URL cache (and never removes) is deleted, as
    // the host kit's RyKitCachedCopy says, so the platform's cache stays as it was.
    std::string readAndClose(DWORD file) const {
        HINTERNET h = reinterpret_cast<HINTERNET>(file);
        std::string out = readAll(h);
        WCHAR copy[MAX_PATH];
        DWORD bytes = sizeof copy;
        BOOL cached = InternetQueryOptionW(h, INTERNET_OPTION_DATAFILE_NAME, copy, &bytes);
        RyINetClose(file, kLoadOwner);
        if (cached) DeleteFileW(copy);
        return out;
    }
};

// What a round must see on one server, taken once before the threads start.
struct Expected {
    FtpServer server;
    std::string user, password, base;
    std::string listing;  // of "pub/*"
    std::string binary;   // binary.bin
    std::string under(const std::string& dir) const { return base == "/" ? "/" + dir : base + "/" + dir; }
};

struct LoadResult {
    int failedRounds = 0;  // rounds with a wrong result, and the rounds a hung thread never ran
    int hungThreads = 0;
    double seconds = 0;
};

// A thread's work: it opens what it needs, does rounds rounds, and reports each to done.
using RoundDone = std::function<void(bool ok)>;
using ThreadWork = std::function<void(int thread, int rounds, const RoundDone& done)>;

inline Expected ExpectedFor(const char* name) {
    Expected e;
    e.server = ServerFromEnvironment(name);
    bool vsftpd = strcmp(name, "VSFTPD") == 0;  // anonymous only, the tree below its root
    e.user = vsftpd ? "anonymous" : kUser;
    e.password = vsftpd ? "load@ryinet" : kPassword;
    e.base = vsftpd ? "/root" : "/";
    bool ok = false;
    e.binary = ReadWholeFile(e.server.path("binary.bin"), &ok);
    return e;
}

// One round through RYINET on connection c, in a directory of its own; false as soon as
// a result is not what the served tree says.
inline bool RyinetRound(const HostWininet& w, const Expected& e, DWORD c, const std::string& dir) {
    char cur[RYINET_CURDIR_BYTES];
    RyFtpCurDir(c, kLoadOwner, cur);
    if (e.base != cur) return false;
    RyFtpMd(c, kLoadOwner, dir.c_str());
    if (!DirectoryExists(e.server.path(dir))) return false;
    RyFSetDir(c, 0, dir.c_str());
    RyFtpCurDir(c, kLoadOwner, cur);
    if (e.under(dir) != cur) return false;
    RyFSetDir(c, 0, e.base.c_str());
    RyFtpRd(c, kLoadOwner, dir.c_str());
    if (DirectoryExists(e.server.path(dir))) return false;
    std::vector<char> text(RYINET_LISTING_BYTES(16));
    if (RyFtpDir(c, kLoadOwner, "pub/*", 0, text.data()) != 0 || e.listing != text.data()) return false;
    DWORD file = RyFtpOpenFile(kLoadOwner, c, "binary.bin");
    return file && w.readAndClose(file) == e.binary;
}

// The reference listing, made when nothing else runs.
inline std::string QuietListing(const Expected& e) {
    DWORD s = RyINetOpen(kLoadOwner);
    DWORD c = RyFtpConnect(s, 0, kLoadOwner, e.server.host.c_str(), e.user.c_str(), e.password.c_str());
    RyFSetDir(c, 0, e.base.c_str());
    std::vector<char> text(RYINET_LISTING_BYTES(16));
    RyFtpDir(c, kLoadOwner, "pub/*", 0, text.data());
    RyINetClose(c, kLoadOwner);
    RyINetClose(s, kLoadOwner);
    return text.data();
}

// threads threads, rounds rounds each. A thread that makes no progress for 10 s counts
// as hung: its missing rounds fail, and it is left behind, not joined (an active-mode
// transfer that the server never connects waits without limit inside the platform), so
// what it uses is shared with it.
inline LoadResult RunLoad(int threads, int rounds, ThreadWork work) {
    struct Worker {
        std::atomic<DWORD> lastProgress{GetTickCount()};
        std::atomic<int> done{0}, failed{0};
        std::atomic<bool> finished{false};
    };
    auto workers = std::make_shared<std::vector<Worker>>(threads);
    DWORD start = GetTickCount();
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([workers, work, rounds, t] {
            Worker& me = (*workers)[t];
            work(t, rounds, [&me](bool ok) {
                me.failed += ok ? 0 : 1;
                ++me.done;
                me.lastProgress = GetTickCount();
            });
            me.finished = true;
        });
    LoadResult result;
    for (int t = 0; t < threads; ++t) {
        Worker& me = (*workers)[t];
        while (!me.finished && GetTickCount() - me.lastProgress < 10000) Sleep(100);
        if (me.finished) {
            pool[t].join();
            result.failedRounds += me.failed;
        } else {
            pool[t].detach();
            ++result.hungThreads;
            result.failedRounds += me.failed + (rounds - me.done);
        }
    }
    result.seconds = (GetTickCount() - start) / 1000.0;
    return result;
}

// RYINET's thread: its own session and connection through the exports.
inline ThreadWork RyinetWork(const HostWininet& w, const Expected& e) {
    const HostWininet* host = &w;
    return [host, e](int t, int rounds, const RoundDone& done) {
        std::string dir = "ryload" + std::to_string(t);
        DWORD s = RyINetOpen(kLoadOwner);
        DWORD c = RyFtpConnect(s, 0, kLoadOwner, e.server.host.c_str(), e.user.c_str(), e.password.c_str());
        RyFSetDir(c, 0, e.base.c_str());
        for (int i = 0; i < rounds; ++i) done(c && RyinetRound(*host, e, c, dir));
        RyINetClose(c, kLoadOwner);
        RyINetClose(s, kLoadOwner);
    };
}
