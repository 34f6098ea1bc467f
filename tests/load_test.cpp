// A long-lived host: many threads working at once against one real server, the internet
// library's reference count over a thousand calls, and the process's handles and memory.
// This process never links the internet library: it loads it once, as such a host does,
// and must be able to see it gone again.
#include <windows.h>
#include <wininet.h>
#include <psapi.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include "boxes.h"
#include "ftp_env.h"
#include "ryinet.h"

namespace {

const HWND kOwner = reinterpret_cast<HWND>(0x10AD);

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
#undef HOST_ENTRY
    ~HostWininet() { FreeLibrary(module); }

    std::string readAll(HINTERNET file) const {
        std::string out;
        char chunk[4096];
        DWORD got = 0;
        while (InternetReadFile(file, chunk, sizeof chunk, &got) && got) out.append(chunk, got);
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

Expected ExpectedFor(const char* name) {
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

// One round of a host's mixed work on its own connection, through RYINET; false as soon
// as a result is not what the served tree says.
bool RyinetRound(const HostWininet& w, const Expected& e, DWORD c, const std::string& dir) {
    char cur[260];
    RyFtpCurDir(c, kOwner, cur);
    if (e.base != cur) return false;
    RyFtpMd(c, kOwner, dir.c_str());
    if (!DirectoryExists(e.server.path(dir))) return false;
    RyFSetDir(c, 0, dir.c_str());
    RyFtpCurDir(c, kOwner, cur);
    if (e.under(dir) != cur) return false;
    RyFSetDir(c, 0, e.base.c_str());
    RyFtpRd(c, kOwner, dir.c_str());
    if (DirectoryExists(e.server.path(dir))) return false;
    std::vector<char> text(16 * 290 + 1);
    if (RyFtpDir(c, kOwner, "pub/*", 0, text.data()) != 0 || e.listing != text.data()) return false;
    DWORD file = RyFtpOpenFile(kOwner, c, "binary.bin");
    if (!file) return false;
    std::string got = w.readAll(reinterpret_cast<HINTERNET>(file));
    RyINetClose(file, kOwner);
    return got == e.binary;
}

// The same round straight through the platform, for the baseline.
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
    char cur[260];
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

struct LoadResult {
    int failedRounds = 0;  // rounds with a wrong result, and the rounds a hung thread never ran
    int hungThreads = 0;
    double seconds = 0;
};

// A load run's shared state: it outlives the run when a thread hangs inside the platform
// (an active-mode transfer that the server never connects waits without limit, and
// closing its handles does not wake it), so such a thread is left behind, not joined.
struct LoadRun {
    const HostWininet* w;
    Expected e;
    std::string names;
    bool raw = false;
    int rounds = 0;
    struct Worker {
        std::atomic<DWORD> lastProgress{0};
        std::atomic<int> done{0}, failed{0};
        std::atomic<bool> finished{false};
    };
    std::vector<Worker> workers;

    void work(int t) {
        Worker& me = workers[t];
        std::string dir = std::string(raw ? "raw" : "ry") + "load" + std::to_string(t);
        if (raw) {
            HINTERNET s = w->InternetOpenA("RY", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
            HINTERNET c = w->InternetConnectA(s, e.server.host.c_str(), 21, e.user.c_str(), e.password.c_str(),
                                              INTERNET_SERVICE_FTP, 0, 0);
            w->FtpSetCurrentDirectoryA(c, e.base.c_str());
            for (; me.done < rounds; ++me.done, me.lastProgress = GetTickCount())
                if (!c || !RawRound(*w, e, c, dir, names)) ++me.failed;
            w->InternetCloseHandle(c);
            w->InternetCloseHandle(s);
        } else {
            DWORD s = RyINetOpen(kOwner);
            DWORD c = RyFtpConnect(s, 0, kOwner, e.server.host.c_str(), e.user.c_str(), e.password.c_str());
            RyFSetDir(c, 0, e.base.c_str());
            for (; me.done < rounds; ++me.done, me.lastProgress = GetTickCount())
                if (!c || !RyinetRound(*w, e, c, dir)) ++me.failed;
            RyINetClose(c, kOwner);
            RyINetClose(s, kOwner);
        }
        me.finished = true;
    }
};

// threads host threads, each with its own session and connection, rounds rounds each. A
// thread that makes no progress for 10 s counts as hung: its missing rounds fail.
LoadResult RunLoad(const HostWininet& w, const Expected& e, int threads, int rounds, bool raw) {
    auto run = std::make_shared<LoadRun>();
    run->w = &w;
    run->e = e;
    run->raw = raw;
    run->rounds = rounds;
    run->workers = std::vector<LoadRun::Worker>(threads);
    if (raw) {
        HINTERNET s = w.InternetOpenA("RY", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
        HINTERNET c = w.InternetConnectA(s, e.server.host.c_str(), 21, e.user.c_str(), e.password.c_str(),
                                         INTERNET_SERVICE_FTP, 0, 0);
        w.FtpSetCurrentDirectoryA(c, e.base.c_str());
        run->names = RawNames(w, c, "pub/*");
        w.InternetCloseHandle(c);
        w.InternetCloseHandle(s);
    }
    DWORD start = GetTickCount();
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        run->workers[t].lastProgress = start;
        pool.emplace_back([run, t] { run->work(t); });
    }
    LoadResult result;
    for (int t = 0; t < threads; ++t) {
        LoadRun::Worker& me = run->workers[t];
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

// The reference listing, made when nothing else runs.
std::string QuietListing(const Expected& e) {
    DWORD s = RyINetOpen(kOwner);
    DWORD c = RyFtpConnect(s, 0, kOwner, e.server.host.c_str(), e.user.c_str(), e.password.c_str());
    RyFSetDir(c, 0, e.base.c_str());
    std::vector<char> text(16 * 290 + 1);
    RyFtpDir(c, kOwner, "pub/*", 0, text.data());
    RyINetClose(c, kOwner);
    RyINetClose(s, kOwner);
    return text.data();
}

// ---- Many host threads at once ------------------------------------------------------------

TEST(Load, EightThreadsOfMixedWorkAgainstOneServerWhileOthersAskForAddressAndState) {
    HostWininet w;
    BoxRecorder boxes;
    Expected e = ExpectedFor("VSFTPD");
    ASSERT_TRUE(e.server.present());
    ASSERT_FALSE(e.binary.empty());
    e.listing = QuietListing(e);
    ASSERT_NE(e.listing.find("notes.txt;"), std::string::npos) << e.listing;

    char address[16] = "";
    ASSERT_EQ(RyGetIp(address, nullptr), 0);
    const LONG connected = RyINetConn();
    std::atomic<bool> stop{false};
    std::atomic<int> wrongFacts{0}, facts{0};
    std::vector<std::thread> askers;
    for (int i = 0; i < 2; ++i)
        askers.emplace_back([&] {
            while (!stop) {
                char ip[16] = "";
                if (RyGetIp(ip, nullptr) != 0 || strcmp(ip, address) != 0) ++wrongFacts;
                if (RyINetConn() != connected) ++wrongFacts;
                facts += 2;
            }
        });
    LoadResult r = RunLoad(w, e, 8, 50, false);
    stop = true;
    for (auto& t : askers) t.join();
    printf("vsftpd: 8 threads x 50 rounds through RYINET: %d of 400 rounds failed, %d threads hung, %.1f s; %d "
           "address and state answers alongside, %d wrong\n", r.failedRounds, r.hungThreads, r.seconds, facts.load(),
           wrongFacts.load());
    EXPECT_EQ(r.failedRounds, 0);
    EXPECT_EQ(r.hungThreads, 0);
    EXPECT_GT(facts.load(), 0);
    EXPECT_EQ(wrongFacts.load(), 0);
    EXPECT_TRUE(boxes.take().empty());
}

// pyftpdlib loses some active-mode data connections under this load, whoever calls: the
// platform's own calls are the baseline beside RYINET's figure. A figure, not a verdict,
// so make bench runs it (bench/run.sh), in a process of its own, as a hung thread stays
// inside the internet library for good; with RYTEST_BENCH_ROWS it adds a row to the table.
TEST(Load, DISABLED_AgainstPyftpdlibBesideThePlatformsOwnCalls) {
    auto* w = new HostWininet;  // never freed: a hung thread may still be inside the library
    BoxRecorder boxes;
    Expected e = ExpectedFor("PYFTPD");
    ASSERT_TRUE(e.server.present());
    e.listing = QuietListing(e);
    ASSERT_NE(e.listing.find("notes.txt;"), std::string::npos) << e.listing;
    LoadResult raw = RunLoad(*w, e, 8, 25, true);
    LoadResult ry = RunLoad(*w, e, 8, 25, false);
    printf("pyftpdlib, 8 threads x 25 rounds: raw WinINet %d of 200 rounds failed (%d threads hung, %.1f s); "
           "RYINET %d of 200 (%d hung, %.1f s)\n", raw.failedRounds, raw.hungThreads, raw.seconds, ry.failedRounds,
           ry.hungThreads, ry.seconds);
    if (const char* rows = getenv("RYTEST_BENCH_ROWS"))
        if (FILE* f = fopen(rows, "a")) {
            fprintf(f, "| pyftpdlib, 8 threads x 25 rounds of mixed work: rounds failed, raw WinINet / RYINET "
                    "| %d (%d threads hung) / %d (%d hung) of 200 |  |\n", raw.failedRounds, raw.hungThreads,
                    ry.failedRounds, ry.hungThreads);
            fclose(f);
        }
    boxes.take();
}

// ---- A thousand calls: references, handles and memory ----------------------------------------

// Handles the process holds, counted by asking the system about each possible value.
DWORD ProcessHandles() {
    DWORD count = 0, flags = 0;
    for (ULONG_PTR v = 4; v < 0x40000; v += 4)
        if (GetHandleInformation(reinterpret_cast<HANDLE>(v), &flags)) ++count;
    return count;
}

SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX m = {};
    m.cb = sizeof m;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&m), sizeof m);
    return m.PagefileUsage;  // committed private memory ("private bytes")
}

// One call of every internet export, on a held session and connection; the connection
// must answer through the host's own entry in between.
int EveryInternetExport(const HostWininet& w, const Expected& e, DWORD session, DWORD c, int i) {
    char cur[260], text[16 * 290 + 1];
    std::string dir = "k" + std::to_string(i), file = dir + ".txt", renamed = dir + ".moved";
    WriteWholeFile(e.server.path(file), "k");
    DWORD other = RyFtpConnect(session, 0, kOwner, e.server.host.c_str(), e.user.c_str(), e.password.c_str());
    RyINetClose(other, kOwner);
    DWORD s2 = RyINetOpen(kOwner);
    RyINetClose(s2, kOwner);
    RyINetConn();
    RyFSetDir(c, 0, e.base.c_str());
    RyFtpCurDir(c, kOwner, cur);
    RyFtpMd(c, kOwner, dir.c_str());
    RyFtpRd(c, kOwner, dir.c_str());
    RyFRenFile(c, kOwner, file.c_str(), renamed.c_str());
    RyFDelFile(c, kOwner, renamed.c_str());
    RyFtpDir(c, kOwner, "pub/*", 0, text);
    DWORD f = RyFtpOpenFile(kOwner, c, "readme.txt");
    std::string got = w.readAll(reinterpret_cast<HINTERNET>(f));
    RyINetClose(f, kOwner);
    DWORD n = sizeof cur;
    bool usable = w.FtpGetCurrentDirectoryA(reinterpret_cast<HINTERNET>(c), cur, &n) && e.base == cur;
    EXPECT_TRUE(usable && got.size() == 512 && other && s2 && e.listing == text) << "call group " << i;
    return 15;  // internet calls made
}

TEST(Resources, AThousandCallsLeaveNoReferenceHandleOrMemoryBehind) {
    ASSERT_EQ(GetModuleHandleA("wininet.dll"), nullptr) << "the internet library must not be linked here";
    BoxRecorder boxes;
    Expected e = ExpectedFor("PYFTPD");
    int calls = 0;
    {
        HostWininet w;  // the host's one reference
        e.listing = QuietListing(e);
        DWORD session = RyINetOpen(kOwner);
        DWORD c = RyFtpConnect(session, 0, kOwner, e.server.host.c_str(), e.user.c_str(), e.password.c_str());
        ASSERT_NE(c, 0u);
        for (int i = 0; i < 5; ++i) EveryInternetExport(w, e, session, c, i);  // first-use allocations
        DWORD handlesBefore = ProcessHandles();
        SIZE_T bytesBefore = PrivateBytes();
        while (calls < 1000) calls += EveryInternetExport(w, e, session, c, calls);
        DWORD handlesAfter = ProcessHandles();
        SIZE_T bytesAfter = PrivateBytes();
        printf("%d internet calls: handles %lu before, %lu after; private bytes %lu before, %lu after\n", calls,
               handlesBefore, handlesAfter, static_cast<unsigned long>(bytesBefore),
               static_cast<unsigned long>(bytesAfter));
        EXPECT_LE(handlesAfter, handlesBefore);
        EXPECT_LT(bytesAfter, bytesBefore + 256 * 1024);
        RyINetClose(c, kOwner);
        RyINetClose(session, kOwner);
    }
    // The host freed its one reference: every call released exactly its own.
    EXPECT_EQ(GetModuleHandleA("wininet.dll"), nullptr) << "after " << calls << " calls";
    EXPECT_TRUE(boxes.take().empty());
}

}  // namespace
