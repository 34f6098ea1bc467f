// A long-lived host: many threads working at once against one real server (the load
// itself is tests/support/load.h), the internet library's reference count over a thousand
// calls, and the process's handles and memory.
// This process never links the internet library: it loads it once, as such a host does,
// and must be able to see it gone again.
#include <windows.h>
#include <wininet.h>
#include <gtest/gtest.h>
#include <string.h>
#include <atomic>
#include <string>
#include <thread>
#include <vector>
#include "boxes.h"
#include "ftp_env.h"
#include "load.h"
#include "ryinet.h"

namespace {

const HWND kOwner = kLoadOwner;

// ---- Many host threads at once ------------------------------------------------------------

TEST(Load, EightThreadsOfMixedWorkAgainstOneServerWhileOthersAskForAddressAndState) {
    HostWininet w;
    BoxRecorder boxes;
    Expected e = ExpectedFor("VSFTPD");
    ASSERT_TRUE(e.server.present());
    ASSERT_FALSE(e.binary.empty());
    e.listing = QuietListing(e);
    ASSERT_NE(e.listing.find("notes.txt;"), std::string::npos) << e.listing;

    char address[RYINET_ADDRESS_BYTES] = "";
    ASSERT_EQ(RyGetIp(address, nullptr), 0);
    const LONG connected = RyINetConn();
    std::atomic<bool> stop{false};
    std::atomic<int> wrongFacts{0}, facts{0};
    std::vector<std::thread> askers;
    for (int i = 0; i < 2; ++i)
        askers.emplace_back([&] {
            while (!stop) {
                char ip[RYINET_ADDRESS_BYTES] = "";
                if (RyGetIp(ip, nullptr) != 0 || strcmp(ip, address) != 0) ++wrongFacts;
                if (RyINetConn() != connected) ++wrongFacts;
                facts += 2;
            }
        });
    LoadResult r = RunLoad(8, 50, RyinetWork(w, e));
    stop = true;
    for (auto& t : askers) t.join();
    EXPECT_EQ(r.failedRounds, 0);
    EXPECT_EQ(r.hungThreads, 0);
    EXPECT_GT(facts.load(), 0);
    EXPECT_EQ(wrongFacts.load(), 0);
    EXPECT_TRUE(boxes.take().empty());
}

// ---- A thousand calls: references, handles and memory ----------------------------------------

// What the process holds, as Windows counts it. Not the resident memory the platform
// reports (GetProcessMemoryInfo): under Wine that is the Unix process's, and on the
// emulated route the emulator's too, whose cache of translated code grows by megabytes
// whenever platform code runs for the first time (a URL cache clean-up mid-loop adds
// 1.1 MB there and nothing here). A block RYINET leaks stays in a heap; an internet
// handle it leaves open keeps its object in one and its socket among the handles.
struct Holdings {
    DWORD handles = 0;
    SIZE_T heapBytes = 0;     // blocks in use in every heap of the process
    SIZE_T privateBytes = 0;  // committed private memory
};

Holdings Held() {
    Holdings h;
    DWORD flags = 0;
    for (ULONG_PTR v = 4; v < 0x40000; v += 4)
        if (GetHandleInformation(reinterpret_cast<HANDLE>(v), &flags)) ++h.handles;
    HANDLE heaps[64];
    DWORD count = GetProcessHeaps(64, heaps);
    for (DWORD i = 0; i < count && i < 64; ++i) {
        PROCESS_HEAP_ENTRY e = {};
        HeapLock(heaps[i]);
        while (HeapWalk(heaps[i], &e))
            if (e.wFlags & PROCESS_HEAP_ENTRY_BUSY) h.heapBytes += e.cbData;
        HeapUnlock(heaps[i]);
    }
    MEMORY_BASIC_INFORMATION m;
    for (const char* p = nullptr; VirtualQuery(p, &m, sizeof m) == sizeof m; p += m.RegionSize) {
        if (m.State == MEM_COMMIT && m.Type == MEM_PRIVATE) h.privateBytes += m.RegionSize;
        if (p + m.RegionSize < p) break;
    }
    return h;
}

// One call of every internet export, on a held session and connection; the connection
// must answer through the host's own entry in between.
int EveryInternetExport(const HostWininet& w, const Expected& e, DWORD session, DWORD c, int i) {
    char cur[RYINET_CURDIR_BYTES], text[RYINET_LISTING_BYTES(16)];
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
    std::string got = f ? w.readAndClose(f) : "";
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
        Holdings before = Held();
        while (calls < 1000) calls += EveryInternetExport(w, e, session, c, calls);
        Holdings after = Held();
        // A leak of one handle or of 4 KiB per call of any one export is over 60 of
        // them; the platform's heaps grow by 64 KiB at a time.
        EXPECT_LE(after.handles, before.handles);
        EXPECT_LT(after.heapBytes, before.heapBytes + 64 * 1024);
        EXPECT_LT(after.privateBytes, before.privateBytes + 256 * 1024);
        RyINetClose(c, kOwner);
        RyINetClose(session, kOwner);
    }
    // The host freed its one reference: every call released exactly its own.
    EXPECT_EQ(GetModuleHandleA("wininet.dll"), nullptr) << "after " << calls << " calls";
    EXPECT_TRUE(boxes.take().empty());
}

}  // namespace
